// The HID usages of the wire protocol: the media keys of "consumer" (HID consumer page 0x0C), in
// the order of the media device's descriptor and the bit order of its report.
#pragma once

#include <array>

namespace virelo::protocol {

inline constexpr int kUsageMute = 0xE2;
inline constexpr int kUsageVolumeUp = 0xE9;
inline constexpr int kUsageVolumeDown = 0xEA;
inline constexpr int kUsagePlayPause = 0xCD;
inline constexpr int kUsageNextTrack = 0xB5;
inline constexpr int kUsagePreviousTrack = 0xB6;

inline constexpr std::array<int, 6> kConsumerUsages = {kUsageMute,       kUsageVolumeUp,
                                                       kUsageVolumeDown, kUsagePlayPause,
                                                       kUsageNextTrack,  kUsagePreviousTrack};

}  // namespace virelo::protocol

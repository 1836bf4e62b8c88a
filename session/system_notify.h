// Tells the service manager about the session (sd_notify) when it started the session as a
// notify unit; does nothing otherwise, or in a build without libsystemd.
#pragma once

#include <string>

namespace virelo::session {

void notifyReady(const std::string& status);
void notifyStatus(const std::string& status);
void notifyStopping();

}  // namespace virelo::session

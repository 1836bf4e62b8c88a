// Reading a file descriptor through a stream buffer, for a script given as a file or on standard
// input. A failed read throws std::system_error from the buffer (std::cin would take it for the
// end of the input), so a reader that uses the buffer directly sees it as an error.
#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace virelo::tools {

class DescriptorInput : public std::streambuf {
 public:
  // Reads `fd` (not closed at the end) ...
  explicit DescriptorInput(int fd);
  // ... or opens the file. Throws std::system_error when it cannot be opened.
  explicit DescriptorInput(const std::string& path);
  ~DescriptorInput() override;
  DescriptorInput(const DescriptorInput&) = delete;
  DescriptorInput& operator=(const DescriptorInput&) = delete;

 protected:
  int_type underflow() override;

 private:
  int fd_;
  bool owned_;
  std::array<char, 65'536> buffer_{};
};

}  // namespace virelo::tools

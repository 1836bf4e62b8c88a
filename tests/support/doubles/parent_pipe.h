// The parent's liveness pipe: the read end is what the service watches, the test holds the write
// end and closes it to play a parent that has gone.
#pragma once

#include <unistd.h>

#include <stdexcept>

namespace virelo::testing {

class ParentPipe {
 public:
  ParentPipe() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    read_ = fds[0];
    write_ = fds[1];
  }
  ~ParentPipe() {
    closeWriter();
    ::close(read_);
  }
  ParentPipe(const ParentPipe&) = delete;
  ParentPipe& operator=(const ParentPipe&) = delete;

  int readEnd() const { return read_; }
  void closeWriter() {
    if (write_ >= 0) ::close(write_);
    write_ = -1;
  }
  void writeByte() {
    char byte = 'x';
    if (::write(write_, &byte, 1) != 1) throw std::runtime_error("write");
  }

 private:
  int read_ = -1;
  int write_ = -1;
};

}  // namespace virelo::testing

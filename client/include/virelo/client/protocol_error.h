// The service answered a command with its protocol-error reply ("virtual_hid_protocol_error"):
// the command was malformed, out of range, sent before "hello", or the token was wrong. The service
// closes the connection after this reply and releases everything the client held.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class ProtocolError : public Error {
 public:
  ProtocolError(std::string command, std::string reply)
      : Error("the service rejected \"" + command + "\": " + reply),
        command_(std::move(command)),
        reply_(std::move(reply)) {}

  // The name of the command that was rejected ("hello", "keyboard", ...).
  const std::string& command() const { return command_; }
  // The reply line as the service sent it.
  const std::string& reply() const { return reply_; }

 private:
  std::string command_;
  std::string reply_;
};

}  // namespace virelo::client

// The listening socket and the reply path. Main thread only.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace virelo {

// Creates the listening socket at path, mode 0600, backlog 4, non-blocking. The directory that
// holds it must be a real directory (not a symbolic link) owned by the effective user with no
// permission bits for group or others; the path at most 103 bytes; an existing file at the path
// is never removed. Throws FailureError(socketError).
int openServer(const std::string& path);

// One send of the compact object and a newline; true only when the whole line went out.
bool reply(int fd, const nlohmann::json& object);
// The same for a line already serialised without its newline.
bool replyText(int fd, std::string line);
// One send of a complete line (newline included); true only when all of it went out.
bool replyLine(int fd, std::string_view line);

}  // namespace virelo

// Pasting a text through the Wayland clipboard: wl-copy (wl-clipboard) takes the text, and the
// service presses ctrl+v.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

extern char** environ;

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long wl-copy may take to own the clipboard (it then leaves a process of its own behind that
// serves the text, and exits).
constexpr auto kCopyWait = 5s;

// Writes the whole text into the pipe; false when wl-copy closed it early.
bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// wl-copy's exit status, or nullopt when it did not exit within kCopyWait (it is then killed).
std::optional<int> awaitExit(pid_t pid) {
  const auto deadline = Clock::now() + kCopyWait;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(2ms);
  }
}

// Puts the text on the clipboard with wl-copy. Throws Error.
void copyToClipboard(std::string_view text) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0)
    throw Error(std::string("cannot paste: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
  char program[] = "wl-copy";
  char* argv[] = {program, nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[0]);
  if (spawned != 0) {
    ::close(pipe[1]);
    throw Error(std::string("cannot paste: wl-copy cannot be run (") + std::strerror(spawned) +
                "; install wl-clipboard)");
  }
  // A wl-copy that ends early closes the pipe: no SIGPIPE for this process, an error instead.
  struct sigaction ignore {};
  struct sigaction before {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &before);
  const bool written = writeAll(pipe[1], text);
  ::sigaction(SIGPIPE, &before, nullptr);
  ::close(pipe[1]);
  const std::optional<int> status = awaitExit(pid);
  if (!status) throw Error("cannot paste: wl-copy did not take the clipboard within 5 s");
  if (*status != 0 || !written) {
    throw Error("cannot paste: wl-copy failed (exit status " + std::to_string(*status) + ")");
  }
}

}  // namespace

void pasteText(Client& client, std::string_view text, const KeyboardLayout& layout,
               const EnvironmentLookup& environment) {
  const char* wayland = environment("WAYLAND_DISPLAY");
  if (wayland == nullptr || *wayland == '\0') {
    throw Error(
        "cannot paste through the clipboard: no Wayland display ($WAYLAND_DISPLAY is unset)");
  }
  const Chord paste = parseChord("ctrl+v", layout);
  copyToClipboard(text);
  client.pressModifiers(paste.modifiers);
  for (int key : paste.keys) client.pressKey(key);
  for (int key : paste.keys) client.releaseKey(key);
  client.releaseModifiers(paste.modifiers);
}

}  // namespace virelo::client

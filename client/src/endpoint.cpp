#include <cstdlib>

#include "virelo/client/session.h"
#include "virelo/protocol/names.h"

namespace virelo::client {
namespace {

namespace variables = protocol::variables;

// The half the caller names, else the environment's; nullopt when neither has one.
std::optional<std::string> half(const std::optional<std::string>& given, const char* variable,
                                const EnvironmentLookup& environment) {
  if (given && !given->empty()) return given;
  const char* value = environment(variable);
  if (value != nullptr && *value != '\0') return std::string(value);
  return std::nullopt;
}

// "a socket is given" or "$VIRELO_SOCKET is set", for the half that was found.
std::string foundHalf(const std::optional<std::string>& given, const char* what,
                      const char* variable) {
  if (given && !given->empty()) return std::string("a ") + what + " is given";
  return std::string("$") + variable + " is set";
}

Endpoint sessionEndpoint(const EnvironmentLookup& environment) {
  const std::string directory = sessionDirectory(environment);
  auto info = readSession(directory);
  if (!info) {
    throw NoSession(std::string("no Virelo session: ") +
                    (sessionRunning(directory)
                         ? "the session has not started its service yet"
                         : "start one with `systemctl --user start virelo` or `virelo session`"));
  }
  return {info->socket, info->token};
}

}  // namespace

Endpoint resolveEndpoint(const EndpointRequest& given, const EnvironmentLookup& environment) {
  auto socket = half(given.socket, variables::socket, environment);
  auto token = half(given.token, variables::token, environment);
  if (socket && token) return {*socket, *token};
  if (!socket && !token) return sessionEndpoint(environment);
  const std::string found = socket ? foundHalf(given.socket, "socket", variables::socket)
                                   : foundHalf(given.token, "token", variables::token);
  const std::string missing =
      socket ? std::string("no token (none given, $") + variables::token + " unset)"
             : std::string("no socket (none given, $") + variables::socket + " unset)";
  throw NoSession(found + " but " + missing +
                  ": name both to use that service, or neither to use the session");
}

Endpoint findEndpoint(const EnvironmentLookup& environment) {
  return resolveEndpoint({}, environment);
}

Endpoint findSession() {
  return findEndpoint(std::getenv);
}

std::string serviceHost(const EndpointRequest& given, const EnvironmentLookup& environment) {
  const bool named = half(given.socket, variables::socket, environment) ||
                     half(given.token, variables::token, environment);
  if (named) {
    const char* host = environment("VL_HOST");
    return host == nullptr ? "" : host;
  }
  try {
    auto info = readSession(sessionDirectory(environment));
    return info ? info->host : "";
  } catch (const Error&) {
    return "";  // connecting says what is wrong with the session
  }
}

}  // namespace virelo::client

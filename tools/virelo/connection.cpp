#include "tools/virelo/connection.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "session/status_words.h"
#include "tools/common/user_switch.h"
#include "virelo/client/session.h"
#include "virelo/protocol/names.h"

namespace virelo::tools {
namespace {

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string readTokenFile(const std::string& path) {
  std::ifstream in(path);
  std::string token;
  if (!in || !std::getline(in, token))
    throw std::runtime_error("cannot read the token from " + path);
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back()))) token.pop_back();
  return token;
}

}  // namespace

client::Endpoint endpointOf(const ToolArguments& args) {
  client::EndpointRequest given;
  given.socket = args.socket;
  if (args.tokenFile) given.token = readTokenFile(*args.tokenFile);
  return client::resolveEndpoint(given, std::getenv);
}

std::unique_ptr<client::Client> connect(const ToolArguments& args) {
  if (::geteuid() == 0) {
    // The service only talks to its own user, which is never root.
    UserIds owner = ownerOf(endpointOf(args).socket);
    if (owner.uid != 0) becomeUser(owner);
  }
  return std::make_unique<client::Client>([args] { return endpointOf(args); });
}

std::optional<client::SessionInfo> sessionBehind(const ToolArguments& args) {
  for (const char* name : {protocol::variables::socket, protocol::variables::token}) {
    if (!environmentValue(name).empty()) return std::nullopt;
  }
  if (args.socket || args.tokenFile) return std::nullopt;
  return client::readSession(client::sessionDirectory(std::getenv));
}

std::string serviceHostOf(const ToolArguments& args) {
  client::EndpointRequest given;
  given.socket = args.socket;
  if (args.tokenFile) given.token = *args.tokenFile;  // only whether one is named counts here
  return client::serviceHost(given, std::getenv);
}

std::string serviceErrorWords(const ToolArguments& args, const std::string& code) {
  std::optional<client::SessionInfo> session;
  try {
    session = sessionBehind(args);
  } catch (const std::exception&) {
    // Without the session's file the host is not known; the words for any host serve.
  }
  const std::string words = session::describeError(code, session ? session->host : "");
  return words == code ? code : words + " (" + code + ")";
}

ReadyClient connectReady(const ToolArguments& args) {
  ReadyClient ready{connect(args), {}};
  ready.status = ready.client->helloStatus();
  if (!ready.status.ready) {
    throw std::runtime_error("the service is not ready: " +
                             serviceErrorWords(args, ready.status.error.value_or("unknown")));
  }
  client::Client::releaseOnSignals({SIGINT, SIGTERM, SIGHUP});
  return ready;
}

}  // namespace virelo::tools

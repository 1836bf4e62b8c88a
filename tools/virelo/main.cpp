// virelo: the command-line tool for the Virelo service. See usageText() for what it does.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "tools/common/user_switch.h"
#include "tools/virelo/client_commands.h"
#include "tools/virelo/start_command.h"
#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/unknown_key_name.h"
#include "virelo/client/unknown_layout.h"
#include "virelo/client/untypable_text.h"

namespace {

using namespace virelo;
using namespace virelo::tools;

std::string fromOptionOrEnvironment(const std::optional<std::string>& option, const char* name,
                                    const char* optionName) {
  if (option) return *option;
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw UsageError(std::string("no ") + optionName + " given and " + name +
                     " is not set (see virelo start)");
  }
  return value;
}

int runClient(const ToolArguments& args) {
  std::string socket = fromOptionOrEnvironment(args.socket, "VIRELO_SOCKET", "--socket");
  std::string token = fromOptionOrEnvironment(args.token, "VIRELO_TOKEN", "--token");
  if (::geteuid() == 0) {
    // The service only talks to its own user, which is never root.
    UserIds owner = ownerOf(socket);
    if (owner.uid != 0) becomeUser(owner);
  }
  // Ctrl-C while something is held: the socket is shut down and the service releases it all.
  client::Client::releaseOnSignals({SIGINT, SIGTERM, SIGHUP});
  client::Client client(socket);
  client::Status status = client.hello(token);
  if (!status.ready && args.command != "status") {
    std::cerr << "virelo: the service is not ready: " << status.error.value_or("unknown") << "\n";
    return 1;
  }
  return runClientCommand(client, status, args);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    ToolArguments args = parseToolArguments(argc, argv);
    if (args.help) {
      std::cout << usageText();
      return 0;
    }
    if (args.command == "start") return runStart(args);
    if (isClientCommand(args.command)) return runClient(args);
    throw UsageError("unknown command \"" + args.command + "\"");
  } catch (const UsageError& e) {
    std::cerr << "virelo: " << e.what() << "\n(see virelo --help)\n";
    return 2;
  } catch (const client::UnknownKeyName& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 2;
  } catch (const client::UnknownLayout& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 2;
  } catch (const client::UntypableText& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 1;
  }
}

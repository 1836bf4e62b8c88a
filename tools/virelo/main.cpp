// virelo: the command-line tool for the Virelo service. See usageText() for what it does.

#include <iostream>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/connection.h"
#include "tools/virelo/controls_commands.h"
#include "tools/virelo/listings.h"
#include "tools/virelo/pointing_commands.h"
#include "tools/virelo/record_command.h"
#include "tools/virelo/script_run.h"
#include "tools/virelo/session_command.h"
#include "tools/virelo/start_command.h"
#include "tools/virelo/status_command.h"
#include "tools/virelo/targets_command.h"
#include "tools/virelo/tool_arguments.h"
#include "virelo/client/errors.h"

namespace {

using namespace virelo;
using namespace virelo::tools;

int runClient(const ToolArguments& args) {
  prefetchLayout(args);
  auto [client, status] = connectReady(args);
  if (isPointingCommand(args.command)) return runPointingCommand(*client, args);
  return runClientCommand(*client, status, args);
}

int run(const ToolArguments& args) {
  if (args.help) {
    std::cout << usageText();
    return 0;
  }
  if (args.version) {
    std::cout << "virelo " << VIRELO_VERSION << " (protocol 1)\n";
    return 0;
  }
  if (args.command == "session") return runSession(args);
  if (args.command == "status") return runStatus(args);
  if (args.command == "doctor") return runDoctor(args);
  if (args.command == "start") return runStart(args);
  if (args.command == "run") return runScriptCommand(args);
  if (args.command == "record") return runRecordCommand(args);
  if (args.command == "list-layouts" || args.command == "list-keys") return runListing(args);
  if (args.command == "getmouselocation") return runGetMouseLocation(args);
  if (isControlsCommand(args.command)) return runControlsCommand(args);
  if (args.command == "targets") return runTargets(args);
  if (isClientCommand(args.command) || isPointingCommand(args.command)) return runClient(args);
  throw UsageError("unknown command \"" + args.command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(parseToolArguments(argc, argv));
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

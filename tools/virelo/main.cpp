// virelo: the command-line tool for the Virelo service. Its verbs are those of verbs.h.

#include <iostream>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/connection.h"
#include "tools/virelo/doctor_checks.h"
#include "tools/virelo/steer_program.h"
#include "tools/virelo/tool_arguments.h"
#include "tools/virelo/tool_help.h"
#include "tools/virelo/verbs.h"
#include "virelo/client/errors.h"

namespace {

using namespace virelo;
using namespace virelo::tools;

int run(const ToolArguments& args) {
  const Verb* verb = findVerb(args.command);
  if (args.help) {
    std::cout << (verb != nullptr ? verbHelp(*verb) : overallHelp());
    return 0;
  }
  if (args.version) {
    std::cout << "virelo " << VIRELO_VERSION << " (protocol 1)\n";
    return 0;
  }
  if (verb->connection != Connection::first) return verb->run(args);
  // Reading the layout overlaps connecting.
  if (verb->layout) prefetchLayout(args);
  auto [client, status] = connectReady(args);
  return verb->runConnected(*client, status, args);
}

}  // namespace

int main(int argc, char** argv) {
  if (tools::steerBuilt()) tools::extraChecks().push_back(tools::gameControllerCheck);
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

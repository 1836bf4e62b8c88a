#include "tools/virelo/status_command.h"

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/virelo/connection.h"
#include "tools/virelo/doctor_checks.h"
#include "tools/virelo/session_command.h"
#include "virelo/client/session.h"

namespace virelo::tools {
namespace {

using nlohmann::json;

std::string duration(std::int64_t seconds) {
  std::string out;
  if (seconds >= 86400) out += std::to_string(seconds / 86400) + "d ";
  if (seconds >= 3600) out += std::to_string(seconds / 3600 % 24) + "h ";
  if (seconds >= 60) out += std::to_string(seconds / 60 % 60) + "m ";
  return out + std::to_string(seconds % 60) + "s";
}

void printStatus(const client::Status& status, const std::optional<client::SessionInfo>& session,
                 const ToolArguments& args) {
  const bool asJson = args.json;
  std::int64_t uptime = session ? std::time(nullptr) - session->started : 0;
  if (asJson) {
    json out = {{"ready", status.ready},
                {"backend", status.backend},
                {"protocol", status.protocol.value_or(0)}};
    if (status.error) out["error"] = *status.error;
    if (session) {
      out["session"] = {{"host", session->host},        {"backend", session->backend},
                        {"pid", session->pid},          {"session_pid", session->sessionPid},
                        {"socket", session->socket},    {"uptime_s", uptime},
                        {"restarts", session->restarts}};
    }
    std::cout << out.dump() << "\n";
    return;
  }
  std::cout << (status.ready ? "ready" : "not ready") << "\n"
            << "backend: " << status.backend << "\n"
            << "protocol: " << status.protocol.value_or(0) << "\n";
  if (status.error) std::cout << "error: " << serviceErrorWords(args, *status.error) << "\n";
  if (session) {
    std::cout << "session: host " << session->host << ", service pid " << session->pid << ", up "
              << duration(uptime) << ", " << session->restarts << " restart"
              << (session->restarts == 1 ? "" : "s") << "\n";
  }
}

bool backendCanWork(const std::string& host, const std::string& backend,
                    const Diagnosis& diagnosis) {
  if (backend == "corehid") return diagnosis.corehidWorks;
  if (backend == "cgevent") return diagnosis.cgeventWorks;
  // "auto" on a compositor's host is its window server's events (session/backend_choice.h).
  if (host == "gnome" || host == "kde" || host == "wlroots") return diagnosis.cgeventWorks;
  return diagnosis.corehidWorks || diagnosis.cgeventWorks;
}

}  // namespace

int runStatus(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"status\" takes no arguments");
  auto session = sessionBehind(args);
  auto client = connect(args);
  client::Status status = client->helloStatus();
  if (status.ready) {
    // Only the hello reply carries the backend and protocol; a ready "status" says just that.
    status.ready = client->status().ready;
  }
  printStatus(status, session, args);
  return status.ready ? 0 : 1;
}

int runDoctor(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"doctor\" takes no arguments");
  session::SessionSettings settings = sessionSettings(args);
  Diagnosis diagnosis = diagnose(settings);
  bool works = settings.host == "sim" || backendCanWork(settings.host, settings.backend, diagnosis);
  if (args.json) {
    json checks = json::array();
    for (const Check& c : diagnosis.checks) {
      checks.push_back({{"name", c.name},
                        {"outcome", outcomeName(c.outcome)},
                        {"detail", c.detail},
                        {"fix", c.fix}});
    }
    std::cout << json{{"host", settings.host},
                      {"backend", settings.backend},
                      {"works", works},
                      {"checks", checks}}
                     .dump()
              << "\n";
  } else {
    for (const Check& c : diagnosis.checks) {
      std::cout << outcomeName(c.outcome) << "  " << c.name << ": " << c.detail << "\n";
      if (!c.fix.empty()) std::cout << "    fix: " << c.fix << "\n";
    }
    std::cout << "host " << settings.host << ", backend " << settings.backend
              << (works ? " can work" : " cannot work here") << "\n";
  }
  return works ? 0 : 1;
}

}  // namespace virelo::tools

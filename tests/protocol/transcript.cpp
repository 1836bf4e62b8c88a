#include "tests/protocol/transcript.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace virelo::test {
namespace {

void readFile(const std::filesystem::path& path, std::vector<TranscriptCase>& cases) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  const std::string file = path.filename().string();
  TranscriptCase* current = nullptr;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    auto object = nlohmann::json::parse(line, nullptr, false);
    if (!object.is_object()) {
      throw std::runtime_error(file + ":" + std::to_string(number) + ": not a JSON object");
    }
    if (object.contains("case")) {
      cases.push_back({file, object["case"].get<std::string>(), number, object, {}});
      current = &cases.back();
    } else if (current == nullptr) {
      throw std::runtime_error(file + ":" + std::to_string(number) + ": a step before any case");
    } else {
      current->steps.push_back({number, std::move(object)});
    }
  }
}

}  // namespace

std::vector<TranscriptCase> readTranscripts(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".jsonl") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<TranscriptCase> cases;
  for (const auto& path : files) readFile(path, cases);
  return cases;
}

}  // namespace virelo::test

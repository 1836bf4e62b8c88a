// The conformance transcripts of tests/protocol: files of JSON lines, each file a list of cases,
// each case a header line and the steps after it (README.md in this folder).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace virelo::test {

struct TranscriptStep {
  int line = 0;  // 1-based line in the file
  nlohmann::json step;
};

struct TranscriptCase {
  std::string file;  // the file's name without its folder
  std::string name;
  int line = 0;
  nlohmann::json header;  // the "case" line
  std::vector<TranscriptStep> steps;
};

// Reads every *.jsonl file of the folder, in name order. Blank lines and lines starting with '#'
// are skipped. Throws std::runtime_error on a line that is not a JSON object, or a step before
// the first case.
std::vector<TranscriptCase> readTranscripts(const std::string& folder);

}  // namespace virelo::test

// Registers one test per transcript case (suite: the file, test: the case), then runs them.
#include <gtest/gtest.h>

#include <cctype>

#include "tests/protocol/transcript.h"
#include "tests/protocol/transcript_runner.h"
#include "tests/support/service_user.h"

namespace {

// A test name of letters, digits and underscores.
std::string identifier(const std::string& text) {
  std::string out;
  bool gap = false;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      if (gap && !out.empty()) out.push_back('_');
      out.push_back(static_cast<char>(c));
      gap = false;
    } else {
      gap = true;
    }
  }
  return out;
}

class TranscriptTest : public testing::Test {
 public:
  explicit TranscriptTest(virelo::test::TranscriptCase c) : case_(std::move(c)) {}
  void TestBody() override { virelo::test::runTranscriptCase(case_); }

 private:
  virelo::test::TranscriptCase case_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Read while the process still has its own ids: the sources need not be readable by the
  // service user.
  auto cases = virelo::test::readTranscripts(VIRELO_PROTOCOL_TRANSCRIPTS);
  for (auto& c : cases) {
    std::string suite = identifier(c.file.substr(0, c.file.rfind('.')));
    std::string name = identifier(c.name);
    std::string file = std::string(VIRELO_PROTOCOL_TRANSCRIPTS) + "/" + c.file;
    int line = c.line;
    testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, file.c_str(), line,
                          [c]() -> testing::Test* { return new TranscriptTest(c); });
  }
  virelo::test::ServiceUser::adopt();
  return RUN_ALL_TESTS();
}

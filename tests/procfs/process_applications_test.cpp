// Web browsers and web-based applications recognised by identifier and by the executable's
// directory.
#include "platform/procfs/process_applications.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace virelo::procfs {
namespace {

TEST(ProcessApplications, BrowsersAreRecognisedByIdentifierWithoutCaseAndByExtension) {
  EXPECT_TRUE(ProcessApplications::isBrowserIdentifier("firefox"));
  EXPECT_TRUE(ProcessApplications::isBrowserIdentifier("Google-chrome"));
  EXPECT_TRUE(ProcessApplications::isBrowserIdentifier("org.chromium.Chromium.beta"));
  EXPECT_FALSE(ProcessApplications::isBrowserIdentifier("org.chromium.Chromiumx"));
  EXPECT_FALSE(ProcessApplications::isBrowserIdentifier("gedit"));
}

class EmbeddedChromium : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("vl-apps-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "resources");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void touch(const std::filesystem::path& name) { std::ofstream(dir_ / name).put('x'); }

  std::filesystem::path dir_;
};

TEST_F(EmbeddedChromium, ElectronIsRecognisedByItsAppArchive) {
  touch("resources/app.asar");
  EXPECT_TRUE(ProcessApplications::embedsChromium(dir_));
}

TEST_F(EmbeddedChromium, FfmpegCountsOnlyWithChromiumResourcePacks) {
  touch("libffmpeg.so");
  EXPECT_FALSE(ProcessApplications::embedsChromium(dir_));
  touch("chrome_100_percent.pak");
  EXPECT_TRUE(ProcessApplications::embedsChromium(dir_));
}

TEST_F(EmbeddedChromium, TheChromiumEmbeddedFrameworkIsRecognised) {
  touch("libcef.so");
  EXPECT_TRUE(ProcessApplications::embedsChromium(dir_));
}

TEST_F(EmbeddedChromium, ADirectoryThatCannotBeListedIsNotWeb) {
  EXPECT_FALSE(ProcessApplications::embedsChromium(dir_ / "missing"));
}

}  // namespace
}  // namespace virelo::procfs

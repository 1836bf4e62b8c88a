#include "targets/web_app_detector.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "fake_platform.h"

namespace virelo {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vl-web-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

  // A bundle directory whose "Contents/Frameworks" holds the given entries.
  fs::path bundle(const std::string& name, std::initializer_list<const char*> frameworks) {
    fs::path b = path_ / name;
    fs::create_directories(b / "Contents" / "Frameworks");
    for (const char* f : frameworks) fs::create_directories(b / "Contents" / "Frameworks" / f);
    return b;
  }

 private:
  fs::path path_;
};

TEST(WebAppDetector, BrowserIdentifiersAndTheirDottedExtensionsAreWeb) {
  FakePlatform fake;
  fake.app(1, "com.google.Chrome");
  fake.app(2, "com.google.Chrome.beta");
  fake.app(3, "com.google.Chromecast");
  fake.app(4, "com.apple.SafariTechnologyPreview");
  fake.app(5, "org.mozilla.firefox.nightly");
  fake.app(6, "com.example.Editor");
  WebAppDetector web(fake);
  EXPECT_TRUE(web.isWeb(1));
  EXPECT_TRUE(web.isWeb(2));
  EXPECT_FALSE(web.isWeb(3));  // no dot after the list entry, no bundle to inspect
  EXPECT_TRUE(web.isWeb(4));
  EXPECT_TRUE(web.isWeb(5));
  EXPECT_FALSE(web.isWeb(6));
}

TEST(WebAppDetector, AnApplicationThePlatformRecognisedAsWebIsWeb) {
  FakePlatform fake;
  fake.webApp(1, "code");
  WebAppDetector web(fake);
  EXPECT_TRUE(web.isWeb(1));
}

TEST(WebAppDetector, ExtensionWithoutDotIsWebOnlyByItsFrameworks) {
  TempDir dir;
  FakePlatform fake;
  fake.app(3, "com.google.Chromecast", dir.bundle("Cast.app", {"Electron Framework.framework"}));
  fake.app(4, "com.google.Chromecast", dir.bundle("Cast2.app", {"Updater.framework"}));
  WebAppDetector web(fake);
  EXPECT_TRUE(web.isWeb(3));
  EXPECT_FALSE(web.isWeb(4));
}

TEST(WebAppDetector, FrameworkNamesDecide) {
  TempDir dir;
  FakePlatform fake;
  fake.app(1, "com.example.Chat", dir.bundle("Chat.app", {"Electron Framework.framework"}));
  fake.app(2, "com.example.Tool", dir.bundle("Tool.app", {"Updater.framework"}));
  fake.app(3, "com.example.Ex", dir.bundle("Ex.app", {"Example Framework.framework"}));
  fake.app(4, "com.example.Emb", dir.bundle("Emb.app", {"libChromiumEmbedded.dylib"}));
  fake.app(5, "com.example.Near", dir.bundle("Near.app", {"ExampleFramework.framework"}));
  fake.app(6, "com.example.Empty", dir.bundle("Empty.app", {}));
  WebAppDetector web(fake);
  EXPECT_TRUE(web.isWeb(1));
  EXPECT_FALSE(web.isWeb(2));
  EXPECT_TRUE(web.isWeb(3));   // ends in " Framework.framework"
  EXPECT_TRUE(web.isWeb(4));   // contains "Chromium"
  EXPECT_FALSE(web.isWeb(5));  // no space before "Framework.framework"
  EXPECT_FALSE(web.isWeb(6));
}

TEST(WebAppDetector, FrameworkEntriesMayBeFiles) {
  TempDir dir;
  fs::path b = dir.bundle("Files.app", {});
  std::ofstream(b / "Contents" / "Frameworks" / "Electron Framework") << "x";
  FakePlatform fake;
  fake.app(1, "com.example.Files", b);
  WebAppDetector web(fake);
  EXPECT_TRUE(web.isWeb(1));
}

TEST(WebAppDetector, UninspectableProcessesAreNotWeb) {
  TempDir dir;
  FakePlatform fake;
  fake.app(1, std::nullopt, std::nullopt);                              // nothing known
  fake.app(2, "com.example.NoFrameworks", dir.path() / "Missing.app");  // listing fails
  fake.app(3, std::nullopt, dir.bundle("Anon.app", {"Electron Framework.framework"}));
  WebAppDetector web(fake);
  EXPECT_FALSE(web.isWeb(1));
  EXPECT_FALSE(web.isWeb(2));
  EXPECT_FALSE(web.isWeb(7));  // no running application
  EXPECT_TRUE(web.isWeb(3));   // no bundle identifier, but an Electron bundle
}

TEST(WebAppDetector, AnswersAreCachedPerProcessIncludingNoApplication) {
  TempDir dir;
  FakePlatform fake;
  fs::path b = dir.bundle("Late.app", {});
  fake.app(1, "com.example.Late", b);
  WebAppDetector web(fake);
  EXPECT_FALSE(web.isWeb(1));
  EXPECT_FALSE(web.isWeb(9));
  // Later changes are not seen: the bundle is inspected once per process id.
  fs::create_directories(b / "Contents" / "Frameworks" / "Electron Framework.framework");
  fake.app(9, "com.google.Chrome");
  EXPECT_FALSE(web.isWeb(1));
  EXPECT_FALSE(web.isWeb(9));
  EXPECT_EQ(fake.count("app 1"), 1);
  EXPECT_EQ(fake.count("app 9"), 1);
}

}  // namespace
}  // namespace virelo

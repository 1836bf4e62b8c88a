// What "virelo doctor" finds on a machine, checked against directory trees made for the test.
#include "tools/virelo/doctor_checks.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace virelo::tools {
namespace {

namespace fs = std::filesystem;

TEST(Doctor, FindsTheUdevRuleInEveryDirectoryUdevReadsUnlessMasked) {
  std::string pattern = (fs::temp_directory_path() / "vl-udev-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string root = pattern;
  EXPECT_EQ(udevRule(root).detail, "70-virelo-uhid.rules is not installed");
  for (const char* dir : {"/usr/lib/udev/rules.d", "/usr/local/lib/udev/rules.d",
                          "/run/udev/rules.d", "/etc/udev/rules.d"}) {
    fs::create_directories(root + dir);
    std::ofstream(root + dir + "/70-virelo-uhid.rules") << "# a rule\n";
    Check check = udevRule(root);
    EXPECT_EQ(check.outcome, Check::Outcome::ok) << dir;
    EXPECT_EQ(check.detail, std::string(dir) + "/70-virelo-uhid.rules is installed");
  }
  fs::remove(root + "/etc/udev/rules.d/70-virelo-uhid.rules");
  fs::create_symlink("/dev/null", root + "/etc/udev/rules.d/70-virelo-uhid.rules");
  EXPECT_EQ(udevRule(root).outcome, Check::Outcome::warning);
  EXPECT_NE(udevRule(root).detail.find("masks the rule"), std::string::npos);
  fs::remove_all(root);
}

}  // namespace
}  // namespace virelo::tools

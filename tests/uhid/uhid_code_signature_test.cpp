// The capability probe: creating devices is allowed exactly when the node opens read-write.
#include "platform/uhid/uhid_code_signature.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/uhid/uhid_host.h"

namespace virelo::uhid::testing {
namespace {

class WritableFile {
 public:
  WritableFile() {
    path_ = ::testing::TempDir() + "vl-uhid-probe-XXXXXX";
    int fd = ::mkstemp(path_.data());
    if (fd >= 0) ::close(fd);
  }
  ~WritableFile() { ::unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(UhidProbe, NodeThatOpensReadWriteAllowsDevices) {
  WritableFile node;
  EXPECT_TRUE(uhidAvailable(node.path()));
  UhidCodeSignature signature(node.path());
  EXPECT_TRUE(signature.copySelf());
  EXPECT_TRUE(signature.checkValidityStrict());
  EXPECT_TRUE(signature.copyStaticCode());
  auto info = signature.signingInformation();
  ASSERT_TRUE(info);
  ASSERT_TRUE(info->entitlements);
  EXPECT_EQ(info->entitlements->value("com.apple.developer.hid.virtual.device", false), true);
  ASSERT_TRUE(info->teamIdentifier);
  ASSERT_TRUE(info->teamIdentifier->is_string());
  EXPECT_FALSE(info->teamIdentifier->get<std::string>().empty());
}

TEST(UhidProbe, MissingNodeRefusesFromTheFirstStep) {
  std::string path = "/nonexistent/virelo-uhid";
  EXPECT_FALSE(uhidAvailable(path));
  UhidCodeSignature signature(path);
  EXPECT_FALSE(signature.copySelf());
  EXPECT_FALSE(signature.checkValidityStrict());
  EXPECT_FALSE(signature.copyStaticCode());
  EXPECT_EQ(signature.signingInformation(), std::nullopt);
}

TEST(UhidProbe, DirectoryIsNotADeviceNode) {
  EXPECT_FALSE(uhidAvailable(::testing::TempDir()));
}

TEST(UhidProbe, AnswerIsSettledAtTheFirstQuestion) {
  auto node = std::make_unique<WritableFile>();
  auto signature = makeUhidCodeSignature(node->path());
  EXPECT_TRUE(signature->copySelf());
  node.reset();  // the node goes away; the probe already answered
  EXPECT_TRUE(signature->checkValidityStrict());
  EXPECT_TRUE(signature->signingInformation());
}

}  // namespace
}  // namespace virelo::uhid::testing

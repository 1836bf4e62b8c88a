// What "virelo list-keys" prints about the layout it lists.
#include "tools/virelo/listings.h"

#include <gtest/gtest.h>

#include <sstream>

namespace virelo::tools {
namespace {

TEST(ListKeys, TheHeadingReadsWellWhateverTheLayoutsDescription) {
  for (const char* description : {"de", "of the X server (us)"}) {
    std::ostringstream out;
    listKeys(out, client::KeyboardLayout(description, {}));
    const std::string heading = out.str().substr(0, out.str().find('\n'));
    EXPECT_NE(heading.find(description), std::string::npos) << heading;
    EXPECT_EQ(heading.find("of of"), std::string::npos) << heading;
  }
}

}  // namespace
}  // namespace virelo::tools

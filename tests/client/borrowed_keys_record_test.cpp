// Where a borrowing of the X server's keys keeps its record: one name for every way of naming the
// same server, so that its borrowers share one record and one lock.
#include <gtest/gtest.h>

#include <string>

#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

TEST(BorrowedKeysRecord, NamesOfOneServerShareTheRecordAndOthersDoNot) {
  const EnvironmentLookup environment = [](const char* name) -> const char* {
    return std::string(name) == "XDG_RUNTIME_DIR" ? "/run/user/7" : nullptr;
  };
  const std::string record = borrowedKeysRecord(environment, ":0");
  EXPECT_EQ(record, "/run/user/7/virelo/borrowed-keys-_0");
  EXPECT_EQ(borrowedKeysRecord(environment, ":0.0"), record);
  EXPECT_EQ(borrowedKeysRecord(environment, "unix:0"), record);
  EXPECT_EQ(borrowedKeysRecord(environment, "unix:0.1"), record);
  EXPECT_NE(borrowedKeysRecord(environment, ":1"), record);
  EXPECT_NE(borrowedKeysRecord(environment, "otherhost:0"), record);
}

}  // namespace
}  // namespace virelo::client

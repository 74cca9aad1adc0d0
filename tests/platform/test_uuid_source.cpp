#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "platform/uuid_source.h"

namespace hopster {
namespace {

TEST(RandomUuidSource, GivesCanonicalUpperCaseVersionFourIds) {
  RandomUuidSource uuids;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = uuids.next().str();
    ASSERT_EQ(id.size(), 36u);
    for (std::size_t k = 0; k < id.size(); ++k) {
      if (k == 8 || k == 13 || k == 18 || k == 23) {
        ASSERT_EQ(id[k], '-') << id;
      } else {
        ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(id[k])) ||
                    (id[k] >= 'A' && id[k] <= 'F'))
            << id;
      }
    }
    EXPECT_EQ(id[14], '4') << id;
    EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace hopster

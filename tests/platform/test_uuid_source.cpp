#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/linux/random_uuid_source.h"

namespace hopster {
namespace {

TEST(RandomUuidSource, GivesCanonicalUpperCaseVersionFourIds) {
  RandomUuidSource uuids;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = uuids.next().str();
    ASSERT_THAT(id, ::testing::MatchesRegex(
                        "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"));
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace hopster

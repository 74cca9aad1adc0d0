#include "platform/xdg_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/file_key_value_storage.h"

namespace hopster {
namespace {

// Sets or clears one environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(XdgPaths, FollowTheVariablesOnlyWhenAbsolute) {
  struct Case {
    std::optional<std::string> configVar, dataVar;
    std::string config, data;
  };
  const std::vector<Case> cases{
      {std::nullopt, std::nullopt, "/home/u/.config", "/home/u/.local/share"},
      {"/cfg", "/dat", "/cfg", "/dat"},
      {"relative/cfg", "", "/home/u/.config", "/home/u/.local/share"},
  };
  const ScopedEnv home("HOME", "/home/u");
  for (const Case& c : cases) {
    const ScopedEnv config("XDG_CONFIG_HOME", c.configVar);
    const ScopedEnv data("XDG_DATA_HOME", c.dataVar);
    EXPECT_EQ(configHome(), c.config);
    EXPECT_EQ(dataHome(), c.data);
    EXPECT_EQ(hopsterConfigDir(), std::filesystem::path(c.config) / "hopster");
    EXPECT_EQ(hopsterDataDir(), std::filesystem::path(c.data) / "hopster");
  }
  const ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(FileKeyValueStorage::defaultLocation(), "/cfg/hopster/settings.json");
}

}  // namespace
}  // namespace hopster

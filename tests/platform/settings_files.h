#pragma once

// Files written and read byte for byte, and the names a folder holds, for
// the tests of the settings file and of the atomic writes beneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/data_file.h"

namespace hopster {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

inline void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& path) {
  auto content = readDataFile(path, 1 << 20);
  EXPECT_TRUE(content) << path << ": " << (content ? "" : content.error().message);
  return content ? std::move(content).value() : std::string();
}

inline Strings namesIn(const fs::path& folder) {
  Strings names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace hopster

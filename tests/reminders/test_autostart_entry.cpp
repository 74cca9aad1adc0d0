#include "reminders/autostart_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

TEST(AutostartEntry, RunsTheDeliveryAtLoginWithThePathQuotedWhereNeeded) {
  const testing::TempDir home;
  const auto dir = home.path() / "config" / "autostart";
  const auto exec = [&dir](const std::string& program) {
    std::string text;
    EXPECT_EQ(installAutostartEntry(dir, program), std::nullopt);
    EXPECT_EQ(readWholeFile(dir / "hopster-reminders.desktop", text), std::nullopt);
    return text;
  };
  EXPECT_EQ(exec("/usr/bin/hopster"),
            "[Desktop Entry]\nType=Application\nName=Hopster reminders\n"
            "Exec=/usr/bin/hopster --deliver-due-reminders\n"
            "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
  const auto line = [](const std::string& text) {
    return "\nExec=" + text + " --deliver-due-reminders\n";
  };
  EXPECT_THAT(exec("/opt/My Apps/hopster"),
              ::testing::HasSubstr(line(R"("/opt/My Apps/hopster")")));
  EXPECT_THAT(exec("/opt/100%/hopster"), ::testing::HasSubstr(line("/opt/100%%/hopster")));
  // Quoting escapes the backslash, then the string-value escaping doubles both.
  EXPECT_THAT(exec(R"(/opt/a$b\c"d/x)"), ::testing::HasSubstr(line(R"("/opt/a\\$b\\\\c\\"d/x")")));
  EXPECT_TRUE(installAutostartEntry(dir, "bin/hopster").has_value());
  EXPECT_TRUE(installAutostartEntry(dir, "/opt/a=b/hopster").has_value());

  EXPECT_EQ(removeAutostartEntry(dir), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(dir / "hopster-reminders.desktop"));
  EXPECT_EQ(removeAutostartEntry(dir), std::nullopt);
}

}  // namespace
}  // namespace hopster

#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace hopster {

// How many daily reminders one grant of permission schedules, and how far apart.
inline constexpr std::size_t kReminderCount = 30;
inline constexpr double kReminderIntervalSeconds = 86400.0;  // one day

// Stand-ins for a table with nothing to draw from.
inline constexpr std::string_view kFallbackReminderTitle = "Stay on track!";
inline constexpr std::string_view kFallbackReminderSubtitle = "Keep pushing forward!";

// The ten reminder titles, in their fixed order.
[[nodiscard]] std::span<const std::string_view> reminderTitles();
// The ten reminder subtitles, in their fixed order; they go into the
// notification's subtitle, not its body.
[[nodiscard]] std::span<const std::string_view> reminderSubtitles();

}  // namespace hopster

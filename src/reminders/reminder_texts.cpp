#include "reminders/reminder_texts.h"

#include <array>

namespace hopster {

// The texts mix typographic (’) and straight (') apostrophes and use em dashes
// (—) exactly as first written; they are shown as they stand.

std::span<const std::string_view> reminderTitles() {
  static constexpr std::array<std::string_view, 10> titles{
      "Keep the Momentum Going!",
      "Let’s Leap into Progress!",
      "Keep Smiling and Keep Moving!",
      "Feel the Energy with Every Jump!",
      "Make It Count!",
      "Consistency Wins!",
      "Your Best is Yet to Come!",
      "Feel the Rhythm!",
      "Give It One More Jump!",
      "Move, Breathe, Succeed!",
  };
  return titles;
}

std::span<const std::string_view> reminderSubtitles() {
  static constexpr std::array<std::string_view, 10> subtitles{
      "Every jump gets you closer to your goals—stay positive and keep moving forward! You've "
      "got this!",
      "Great things start with small steps! Every little jump you take helps you get "
      "stronger—keep it up!",
      "Remember, your body reflects your mindset! So let’s stay positive, keep active, and have "
      "fun while jumping into each day!",
      "Movement brings energy to life! So get those legs moving, pump up your heart, and "
      "experience the amazing difference it makes!",
      "Remember, every rep counts. Stay focused, keep pushing through, and don’t forget to "
      "celebrate all the amazing progress you’re making! You've got this!",
      "Remember, progress isn’t about being perfect—it’s all about showing up! Keep pushing "
      "forward, and you've got this!",
      "Every little leap you take today helps build a brighter tomorrow. Keep going—you’ve got "
      "this!",
      "Jumping isn't just a workout—it's all about flow, focus, and having a blast! So let’s "
      "keep the energy up and enjoy every hop!",
      "You’re so much stronger than you think. Why not take one more jump? You’ve totally got "
      "this!",
      "Staying active is a fantastic way to feel amazing! So keep moving, have fun, and enjoy "
      "every step of the journey!",
  };
  return subtitles;
}

}  // namespace hopster

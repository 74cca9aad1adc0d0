#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hopster {

// What a screen reader is told: spoken announcements and "the layout changed".
class Announcer {
 public:
  virtual ~Announcer() = default;
  virtual void announce(std::string_view text) = 0;
  virtual void layoutChanged() = 0;
};

// Drops everything: for runs without a screen reader.
class SilentAnnouncer final : public Announcer {
 public:
  void announce(std::string_view) override {}
  void layoutChanged() override {}
};

// Keeps what was announced, in order, and counts the layout changes.
class RecordingAnnouncer final : public Announcer {
 public:
  void announce(std::string_view text) override { announcements_.emplace_back(text); }
  void layoutChanged() override { ++layoutChanges_; }
  [[nodiscard]] const std::vector<std::string>& announcements() const { return announcements_; }
  [[nodiscard]] int layoutChanges() const { return layoutChanges_; }

 private:
  std::vector<std::string> announcements_;
  int layoutChanges_ = 0;
};

}  // namespace hopster

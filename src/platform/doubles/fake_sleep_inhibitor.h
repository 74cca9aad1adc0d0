#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/sleep_inhibitor.h"

namespace hopster {

// A sleep inhibitor for tests: counts the holds asked for and those still
// held, and refuses with `refusal` while it is set.
class FakeSleepInhibitor final : public SleepInhibitor {
 public:
  [[nodiscard]] Outcome<std::unique_ptr<Hold>> holdOffSleep(const std::string& who,
                                                            const std::string& why) override {
    ++requests_;
    lastRequest_ = who + ": " + why;
    if (refusal) return *refusal;
    return std::unique_ptr<Hold>(std::make_unique<CountedHold>(held_));
  }

  [[nodiscard]] int requests() const { return requests_; }
  [[nodiscard]] int held() const { return *held_; }
  [[nodiscard]] const std::string& lastRequest() const { return lastRequest_; }

  std::optional<Failure> refusal;

 private:
  // Shares the count, so a hold may outlive the inhibitor.
  class CountedHold final : public Hold {
   public:
    explicit CountedHold(std::shared_ptr<int> held) : held_(std::move(held)) { ++*held_; }
    ~CountedHold() override { --*held_; }
    CountedHold(const CountedHold&) = delete;
    CountedHold& operator=(const CountedHold&) = delete;

   private:
    std::shared_ptr<int> held_;
  };

  int requests_ = 0;
  std::string lastRequest_;
  std::shared_ptr<int> held_ = std::make_shared<int>(0);
};

}  // namespace hopster

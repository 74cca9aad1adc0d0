#include "reminders/reminder_schedule.h"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/json_document.h"
#include "platform/linux/xdg_paths.h"

namespace hopster {

namespace {

using nlohmann::json;
using Authorization = NotificationAuthorizationStatus;

// A schedule is three levels deep; anything far deeper is refused before
// parsing, so no file can build a tree deep enough to exhaust the stack.
constexpr int kMaxDepth = 16;

constexpr std::array<std::pair<Authorization, const char*>, 3> kAuthorizationNames{{
    {Authorization::authorized, "authorized"},
    {Authorization::denied, "denied"},
    {Authorization::provisional, "provisional"},
}};

// Reads one reminder, or nothing when a field is missing or of the wrong type.
std::optional<ScheduledReminder> parseReminder(const json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const auto field = [&entry](const char* key, auto isRightType) -> const json* {
    const auto found = entry.find(key);
    return found != entry.end() && isRightType(*found) ? &*found : nullptr;
  };
  const auto isString = [](const json& value) { return value.is_string(); };
  const json* identifier = field("identifier", isString);
  const json* title = field("title", isString);
  const json* subtitle = field("subtitle", isString);
  const json* sound = field("sound", [](const json& value) { return value.is_boolean(); });
  const json* due = field("due", [](const json& value) { return value.is_number(); });
  if (!identifier || !title || !subtitle || !sound || !due) return std::nullopt;
  return ScheduledReminder{identifier->get<std::string>(), title->get<std::string>(),
                           subtitle->get<std::string>(), sound->get<bool>(), due->get<double>()};
}

// Reads the whole schedule into `out`. Fails (malformed) saying why the text
// is not one.
Status parseSchedule(const std::string& text, ReminderScheduleState& out) {
  json document;
  if (auto unusable = parseJsonObject(text, kMaxDepth, document)) return unusable;
  const auto malformed = [](std::string why) {
    return Failure{FailureKind::malformed, std::move(why)};
  };

  if (const auto found = document.find("authorization"); found != document.end()) {
    const auto named = std::find_if(
        kAuthorizationNames.begin(), kAuthorizationNames.end(),
        [&found](const auto& pair) { return found->is_string() && *found == pair.second; });
    if (named == kAuthorizationNames.end()) return malformed("unknown \"authorization\" value");
    out.authorization = named->first;
  }
  if (const auto found = document.find("reminders"); found != document.end()) {
    if (!found->is_array()) return malformed("\"reminders\" is not an array");
    for (std::size_t i = 0; i < found->size(); ++i) {
      auto reminder = parseReminder((*found)[i]);
      if (!reminder) {
        return malformed("reminder " + std::to_string(i) + " is incomplete or mistyped");
      }
      out.reminders.push_back(std::move(*reminder));
    }
  }
  return std::nullopt;
}

std::string serialize(const ReminderScheduleState& state) {
  json document = json::object();
  for (const auto& [status, name] : kAuthorizationNames) {
    if (state.authorization == status) document["authorization"] = name;
  }
  json reminders = json::array();
  for (const ScheduledReminder& reminder : state.reminders) {
    reminders.push_back({{"identifier", reminder.identifier},
                         {"title", reminder.title},
                         {"subtitle", reminder.subtitle},
                         {"sound", reminder.sound},
                         {"due", reminder.due}});
  }
  document["reminders"] = std::move(reminders);
  // Text that is not UTF-8 is written with replacement characters rather than
  // making the whole save fail.
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

std::filesystem::path ReminderSchedule::defaultLocation() {
  return hopsterDataDir() / "reminders.json";
}

ReminderSchedule::ReminderSchedule(std::unique_ptr<KeyValueStorage> storage, Log& log)
    : storage_(std::move(storage)), log_(log) {}

ReminderScheduleState ReminderSchedule::read() {
  if (changing_) return readUnlocked();  // the lock is held already
  ReminderScheduleState state;
  // Under the lock: setting a damaged file aside must not race another
  // process's rename, which would move its good schedule instead.
  runLocked([this, &state] { state = readUnlocked(); });
  return state;
}

ReminderScheduleState ReminderSchedule::readUnlocked() {
  if (blocked_) return {};
  std::string problem;
  try {
    const Outcome<std::optional<std::string>> text = storage_->load();
    if (text && !*text) return {};
    ReminderScheduleState state;
    const Status unusable = text ? parseSchedule(**text, state) : text.error();
    if (!unusable) return state;
    problem = unusable->message;
  } catch (...) {
    problem = describeException(std::current_exception());
  }

  blocked_ = setAsideUnreadable(*storage_, log_,
                                {"Reminder schedule", "reminder schedule", "reminders"}, problem);
  return {};
}

Status ReminderSchedule::update(const std::function<void(ReminderScheduleState&)>& change) {
  if (changing_) {
    return Failure{FailureKind::other,
                   "the reminder schedule cannot be changed while it is being changed"};
  }
  Status error;
  // One locked read-change-write: two processes delivering reminders at once
  // can never both take the same one.
  runLocked([&] {
    const ReminderScheduleState before = readUnlocked();
    if (blocked_) {
      error = blocked_;
      return;
    }
    ReminderScheduleState after = before;
    change(after);
    if (after != before) error = storage_->save(serialize(after));
  });
  return error;
}

void ReminderSchedule::runLocked(const std::function<void()>& work) {
  changing_ = true;
  Status problem;
  try {
    problem = storage_->whileLocked(work);
  } catch (...) {
    changing_ = false;
    throw;
  }
  changing_ = false;
  if (problem && problem != lastLockProblem_) {
    log_.line(oneLine("Reminder schedule is read and saved without a lock: " + problem->message));
  }
  lastLockProblem_ = std::move(problem);
}

}  // namespace hopster

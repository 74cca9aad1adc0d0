#include "commands/data_forms.h"

#include <cmath>
#include <optional>
#include <system_error>

#include "commands/text_output.h"
#include "records/number_form.h"
#include "trophies/difficulty_levels.h"

namespace hopster {
namespace {

std::optional<double> finiteOrNull(double value) {
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

nlohmann::ordered_json numberOrNull(std::optional<double> value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string absoluteText(const std::filesystem::path& path) {
  std::error_code ignored;
  const auto absolute = std::filesystem::absolute(path, ignored);
  return (absolute.empty() ? path : absolute).string();
}

}  // namespace

nlohmann::ordered_json historyJson(const std::vector<RecordingEntry>& recordings) {
  auto array = nlohmann::ordered_json::array();
  for (const RecordingEntry& entry : recordings) {
    nlohmann::ordered_json object;
    object["id"] = entry.id;
    object["file"] = absoluteText(entry.file);
    object["dateStart"] = numberOrNull(finiteOrNull(entry.dateStart));
    object["dateEnd"] = numberOrNull(finiteOrNull(entry.dateEnd));
    object["timeSpent"] = numberOrNull(finiteOrNull(entry.timeSpent));
    object["jumps"] = entry.jumps;
    object["speed"] = numberOrNull(recordingSpeed(entry.jumps, entry.timeSpent));
    array.push_back(std::move(object));
  }
  return array;
}

std::string summaryCsv(const std::vector<RecordingEntry>& recordings) {
  std::string text = "id,file,dateStart,dateEnd,timeSpent,jumps,speed\n";
  for (const RecordingEntry& entry : recordings) {
    const auto speed = recordingSpeed(entry.jumps, entry.timeSpent);
    text += csvField(entry.id) + ',' + csvField(absoluteText(entry.file)) + ',' +
            formatNumber(entry.dateStart) + ',' + formatNumber(entry.dateEnd) + ',' +
            formatNumber(entry.timeSpent) + ',' + std::to_string(entry.jumps) + ',' +
            (speed ? formatNumber(*speed) : std::string()) + '\n';
  }
  return text;
}

nlohmann::ordered_json statsJson(const RecordStats& stats,
                                 const std::vector<RecordingEntry>& recordings) {
  const auto recording = [&](std::optional<std::size_t> index, bool withSpeed) {
    if (!index) return nlohmann::ordered_json(nullptr);
    const RecordingEntry& entry = recordings[*index];
    nlohmann::ordered_json object;
    object["id"] = entry.id;
    object["file"] = absoluteText(entry.file);
    object["dateStart"] = numberOrNull(finiteOrNull(entry.dateStart));
    if (withSpeed) {
      object["speed"] = numberOrNull(recordingSpeed(entry.jumps, entry.timeSpent));
    } else {
      object["jumps"] = entry.jumps;
    }
    return object;
  };
  nlohmann::ordered_json object;
  object["totalJumps"] = stats.totalJumps;
  object["recordings"] = stats.recordings;
  object["bestRecording"] = recording(stats.bestRecording, false);
  object["bestSpeed"] = recording(stats.bestSpeed, true);
  object["jumpsThisWeek"] = stats.jumpsThisWeek;
  object["weekStart"] = stats.weekStart ? nlohmann::ordered_json(isoDateText(*stats.weekStart))
                                        : nlohmann::ordered_json(nullptr);
  object["currentStreak"] = stats.currentStreak;
  object["longestStreak"] = stats.longestStreak;
  return object;
}

std::string shownSubtitle(const Trophy& trophy) {
  return trophy.hidden ? std::string("Hidden Trophy") : trophy.subtitle;
}

nlohmann::ordered_json trophiesJson(const std::vector<Trophy>& trophies) {
  auto array = nlohmann::ordered_json::array();
  for (const Trophy& trophy : trophies) {
    nlohmann::ordered_json object;
    object["id"] = trophy.id;
    object["title"] = trophy.title;
    object["subtitle"] = shownSubtitle(trophy);
    object["difficulty"] = std::string(difficultyName(trophy.difficulty));
    object["hidden"] = trophy.hidden;
    object["isUnlocked"] = trophy.isUnlocked;
    array.push_back(std::move(object));
  }
  return array;
}

nlohmann::ordered_json showJson(const ShownRecording& shown) {
  const RecordingAnalysis& analysis = shown.analysis;
  nlohmann::ordered_json object;
  object["id"] = shown.record.id;
  object["dateStart"] = numberOrNull(finiteOrNull(shown.record.dateStart));
  object["duration"] = numberOrNull(finiteOrNull(shown.record.timeSpent));
  object["jumps"] = shown.record.jumps;
  object["recountedJumps"] = analysis.jumpTimes.size();
  object["jumpsPerMinute"] = analysis.jumpsPerMinute;
  object["peakJumpsPerMinute"] = analysis.peakJumpsPerMinute;
  object["longestRun"] = {{"jumps", analysis.longestRun.jumps},
                          {"seconds", analysis.longestRun.seconds}};
  return object;
}

}  // namespace hopster

#include "motion_sources/motion_source_choice.h"

namespace hopster {

std::optional<MotionSourceChoice> parseMotionSource(std::string_view text, std::string& error) {
  if (text == "sim") return MotionSourceChoice{MotionSourceKind::simulated, {}};
  if (text == "stdin") return MotionSourceChoice{MotionSourceKind::standardInput, {}};

  const auto colon = text.find(':');
  const std::string_view prefix = text.substr(0, colon);
  MotionSourceKind kind;
  if (colon != std::string_view::npos && prefix == "replay") {
    kind = MotionSourceKind::replay;
  } else if (colon != std::string_view::npos && prefix == "fifo") {
    kind = MotionSourceKind::namedPipe;
  } else {
    error = "unknown motion source \"" + std::string(text) + "\": expected " +
            std::string(kMotionSourceForms);
    return std::nullopt;
  }
  const std::string_view path = text.substr(colon + 1);
  if (path.empty()) {
    error = "motion source \"" + std::string(text) + "\" needs a path after the colon";
    return std::nullopt;
  }
  return MotionSourceChoice{kind, std::string(path)};
}

}  // namespace hopster

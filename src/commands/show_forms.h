#pragma once

#include <string>

#include "commands/data_forms.h"
#include "platform/calendar.h"

namespace hopster {

// For a person: the summary as label and value lines, then the jumps per
// minute, as bars on a terminal (`aligned`) and as "minute N" rows when
// piped, tab-separated like the other commands' plain output.
[[nodiscard]] std::string showText(const ShownRecording& shown, const Calendar& calendar,
                                   bool aligned);

}  // namespace hopster

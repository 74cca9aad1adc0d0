#pragma once

#include "app/command_line.h"

namespace hopster {

// Opens the window with the whole app in it and runs until it is closed.
// `smokeTest` loads the main screen, waits for its first frame and exits:
// 0 when it showed without a single QML warning.
int runWindow(const CommandLine& options, int& argc, char** argv);

}  // namespace hopster

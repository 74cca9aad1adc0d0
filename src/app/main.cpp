#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"

int main(int argc, char** argv) {
  std::string error;
  const auto options =
      hopster::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::cerr << "hopster: " << error << '\n';
    return 2;
  }
  if (options->help) {
    std::cout << hopster::usageText();
    return 0;
  }
  // Until the window exists, every run is a headless one.
  return hopster::runHeadless(*options, hopster::DataLocations::forUser(), std::cout).exitCode;
}

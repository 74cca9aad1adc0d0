#include "recording/kept_jumps.h"

namespace hopster {

std::string keptJumpsText(const KeptJumps& kept) {
  const std::string counted = std::to_string(kept.counted);
  const std::string held = std::to_string(kept.kept);
  if (kept.kept < 1) {
    return (kept.counted == 1 ? std::string("The jump counted is not kept on disk")
                              : "None of the " + counted + " jumps counted is kept on disk") +
           ": the next start will recover nothing of this recording.";
  }
  if (kept.kept < kept.counted) {
    return "Only " + held + " of the " + counted + " jumps counted " +
           (kept.kept == 1 ? "is" : "are") + " kept on disk: the next start will recover " +
           (kept.kept == 1 ? std::string("that one.") : "those " + held + ".");
  }
  if (kept.counted == 1 && kept.kept == 1) {
    return "The jump counted is kept on disk: the next start will recover it.";
  }
  return "All " + counted + " jumps counted are kept on disk: the next start will recover " +
         (kept.kept == kept.counted ? "all " + held : held + " jumps") + ".";
}

}  // namespace hopster

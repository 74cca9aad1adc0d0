// What an activation from outside does to the open window.
#include "app/window_activation.h"

#include <gtest/gtest.h>

#include "platform/linux/memory_log.h"

namespace hopster {
namespace {

using Lines = std::vector<std::string>;

// Faults caught: an action compared loosely (any case, a prefix, any name),
// an unknown action that raises the window or goes unlogged, the tab asked
// for before the window is in front, a request before the window exists
// that crashes.
TEST(WindowActivation, TheJumpActionShowsTheJumpTabInFrontAndUnknownOnesAreLoggedOnly) {
  const struct {
    const char* action;
    Lines done;  // what the window was asked to do, in order
  } cases[] = {{"jump", {"raise", "jump tab"}}, {"Jump", {}}, {"jumps", {}}, {"", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    MemoryLog log;
    Lines done;
    WindowActivation activation(log);
    activation.activate();  // before the window exists: nothing
    activation.attach(
        {[&] { done.emplace_back("raise"); }, [&] { done.emplace_back("jump tab"); }});
    activation.activateAction(c.action);
    EXPECT_EQ(done, c.done);
    EXPECT_EQ(log.lines(), c.done.empty() ? Lines{"Ignored the unknown application action \"" +
                                                  std::string(c.action) + "\""}
                                          : Lines{});
    done.clear();
    activation.activate();
    EXPECT_EQ(done, (Lines{"raise", "jump tab"}));
  }
}

}  // namespace
}  // namespace hopster

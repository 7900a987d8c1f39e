// Events and host wiring: the Talking rule for diagnostics, the error report, and the hand-over
// of the host's controls.
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/control_access.h"
#include "control/diagnostics.h"
#include "nimbo/error.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"

namespace nimbo {
namespace {

class RecordingEvents : public Events {
 public:
  void BlaBla(const std::string& text) override { blabla.push_back(text); }
  std::vector<std::string> blabla;
};

TEST(DiagnosticsTest, NothingIsBuiltOrRaisedWhileSilent) {
  auto events = std::make_shared<RecordingEvents>();
  Nimbo control(std::make_shared<RunTimeContainer>(), events);
  int built = 0;
  Talk(StateOf(control), [&] {
    ++built;
    return std::string("x");
  });
  ReportError(StateOf(control), Error(13));
  EXPECT_EQ(built, 0);
  EXPECT_TRUE(events->blabla.empty());

  control.Talking(true);
  Talk(StateOf(control), [&] {
    ++built;
    return std::string("Please set ActivePort to 80");
  });
  ReportError(StateOf(control), Error(13));
  ReportError(StateOf(control), Error(0, "not an error"));
  EXPECT_EQ(built, 1);
  EXPECT_EQ(events->blabla,
            (std::vector<std::string>{"Please set ActivePort to 80", "Error: 13, Type mismatch"}));
}

TEST(DiagnosticsTest, LibraryExceptionsBecomeClassicErrors) {
  const auto number = [](auto exception) {
    return AsError(std::make_exception_ptr(exception)).number();
  };
  EXPECT_EQ(number(Error(3021)), 3021);
  EXPECT_EQ(number(std::out_of_range("x")), 9);
  EXPECT_EQ(number(std::filesystem::filesystem_error("x", std::error_code())), 75);
  EXPECT_EQ(number(std::runtime_error("x")), 5);
}

TEST(EventsTest, AHostWithoutHandlersIsFine) {
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  control.Talking(true);
  ReportError(StateOf(control), Error(91));  // dropped, not a crash
}

TEST(HostWiringTest, SetControlsWithoutATreeStoresBothThenFails) {
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  try {
    control.SetControls(nullptr, nullptr);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_EQ(StateOf(control).mTV, nullptr);
}

}  // namespace
}  // namespace nimbo

namespace nimbo {
namespace {

TEST(HostWiringTest, SetControlsSetsManualLabelEditAndTheLastPairWins) {
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  auto first_tree = std::make_shared<MemoryTreeView>();
  auto first_browser = std::make_shared<HeadlessBrowser>();
  control.SetControls(first_tree, first_browser);
  EXPECT_EQ(first_tree->LabelEdit(), 1);

  auto second_tree = std::make_shared<MemoryTreeView>();
  auto second_browser = std::make_shared<HeadlessBrowser>();
  control.SetControls(second_tree, second_browser);
  EXPECT_EQ(StateOf(control).mTV, second_tree);
  EXPECT_EQ(StateOf(control).mBM, second_browser);
  EXPECT_EQ(second_tree->LabelEdit(), 1);
  // The component holds counted references: the first pair is released.
  EXPECT_EQ(first_tree.use_count(), 1);

  auto socket_free = StateOf(control).ws;  // a host that never mails hands in no socket
  EXPECT_EQ(socket_free, nullptr);
}

}  // namespace
}  // namespace nimbo

// The component's properties: the design-time rule, conversions and change notices.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/control_access.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"

namespace nimbo {
namespace {

// A container whose user mode a test switches, recording the change notices it receives.
class TestContainer : public Container {
 public:
  bool UserMode() const override { return user_mode; }
  void PropertyChanged(std::string_view name) override { notices.emplace_back(name); }
  bool user_mode = false;
  std::vector<std::string> notices;
};

class PropertiesTest : public ::testing::Test {
 protected:
  std::shared_ptr<TestContainer> container_ = std::make_shared<TestContainer>();
  Nimbo control_{container_, nullptr};
  ControlState& s_ = StateOf(control_);
};

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST_F(PropertiesTest, DesignTimePropertiesAreRefusedInUserMode) {
  control_.InitProperties();
  control_.ActivePort(80);
  control_.DAMode(3);
  container_->notices.clear();
  container_->user_mode = true;

  EXPECT_EQ(ErrorNumberOf([&] { control_.ActivePort(81); }), 382);
  EXPECT_EQ(ErrorNumberOf([&] { control_.DAMode(4); }), 382);
  EXPECT_EQ(ErrorNumberOf([&] { (void)control_.ActivePort(); }), 393);
  EXPECT_EQ(ErrorNumberOf([&] { (void)control_.DAMode(); }), 393);
  EXPECT_EQ(s_.ActivePort, 80);
  EXPECT_EQ(s_.DAMode, 3);
  EXPECT_TRUE(container_->notices.empty());
}

TEST_F(PropertiesTest, DesignTimePropertiesStoreAndNotifyAtDesignTime) {
  control_.ActivePort(Variant("80"));
  control_.DAMode(2.5);
  EXPECT_EQ(control_.ActivePort(), 80);
  EXPECT_EQ(control_.DAMode(), 2);
  EXPECT_EQ(container_->notices, (std::vector<std::string>{"ActivePort", "DAMode"}));
}

TEST_F(PropertiesTest, PersistedPropertiesNotifyAndKeepTheVariant) {
  container_->user_mode = true;  // these two may be set at run time as well
  control_.ApplicationFolder(42);
  control_.ConnectionString(Variant::Null());
  EXPECT_EQ(s_.ApplicationFolder, Variant(42));
  EXPECT_TRUE(s_.ConnectionString.IsNull());
  EXPECT_EQ(container_->notices, (std::vector<std::string>{"ApplicationFolder", "ConnectionString"}));
}

TEST_F(PropertiesTest, UserRoleRoundsHalfToEven) {
  const struct {
    Variant in;
    int16_t stored;
  } cases[] = {{Variant("3"), 3}, {2.5, 2}, {3.5, 4}, {Variant(" 7 "), 7}, {-2.5, -2},
               {32767, 32767},    {-32768, -32768}};
  for (const auto& c : cases) {
    control_.UserRole(c.in);
    EXPECT_EQ(s_.UserRole, c.stored) << c.in.ToText();
  }
}

TEST_F(PropertiesTest, FailedConversionLeavesTheStoredValue) {
  control_.UserRole(5);
  control_.Heading("Acme");
  const struct {
    std::function<void()> set;
    int error;
  } cases[] = {
      {[&] { control_.UserRole(Variant("abc")); }, 13},
      {[&] { control_.UserRole(32768); }, 6},
      {[&] { control_.UserRole(Variant::Null()); }, 94},
      {[&] { control_.Heading(Variant::Null()); }, 94},
      {[&] { control_.ActivePort(Variant("eighty")); }, 13},
      {[&] { control_.DAMode(70000); }, 6},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorNumberOf(c.set), c.error);
  EXPECT_EQ(s_.UserRole, 5);
  EXPECT_EQ(s_.Heading, "Acme");
  EXPECT_EQ(s_.ActivePort, 0);
  EXPECT_EQ(s_.DAMode, 0);
}

TEST_F(PropertiesTest, TextPropertiesTakeTheDefaultTextForm) {
  control_.Heading(12.5);
  control_.Server(25);
  control_.Subject(true);
  control_.ToID("js@example.com");
  EXPECT_EQ(s_.Heading, "12.5");
  EXPECT_EQ(s_.Server, "25");
  EXPECT_EQ(s_.Subject, "True");
  EXPECT_EQ(s_.ToID, "js@example.com");
}

TEST_F(PropertiesTest, ReadLimitsAreWholeNumbersNotBelowZero) {
  EXPECT_EQ(s_.CommandTimeout, 30);
  EXPECT_EQ(s_.RecordsetMemoryLimit, 1024);
  control_.CommandTimeout(Variant(" 90 "));
  control_.RecordsetMemoryLimit(2.5);  // half to even
  EXPECT_EQ(s_.CommandTimeout, 90);
  EXPECT_EQ(s_.RecordsetMemoryLimit, 2);
  const struct {
    std::function<void()> set;
    int error;
  } cases[] = {
      {[&] { control_.CommandTimeout(-1); }, 5},
      {[&] { control_.RecordsetMemoryLimit(-0.6); }, 5},
      {[&] { control_.CommandTimeout(Variant("soon")); }, 13},
      {[&] { control_.RecordsetMemoryLimit(3e9); }, 6},
      {[&] { control_.CommandTimeout(Variant::Null()); }, 94},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorNumberOf(c.set), c.error);
  EXPECT_EQ(s_.CommandTimeout, 90);
  EXPECT_EQ(s_.RecordsetMemoryLimit, 2);
  control_.CommandTimeout(0);  // no limit
  EXPECT_EQ(s_.CommandTimeout, 0);
}

}  // namespace
}  // namespace nimbo

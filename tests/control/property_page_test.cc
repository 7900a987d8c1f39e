// The design-time property page: its layout and its three operations.
#include <memory>

#include <gtest/gtest.h>

#include "control/control_state.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "nimbo/property_page.h"

namespace nimbo {
namespace {

TEST(PropertyPageTest, LayoutIsFourControlsInTabOrder) {
  PropertyPage page;
  EXPECT_EQ(page.Caption(), "Nimbo Properties");
  const auto& c = page.Controls();
  ASSERT_EQ(c.size(), 4u);
  const struct {
    const char* name;
    PageControl::Kind kind;
    const char* caption;
    int top, height;
  } want[] = {{"lblActivePort", PageControl::Kind::kLabel, "ActivePort:", 120, 240},
              {"txtActivePort", PageControl::Kind::kTextBox, "", 370, 330},
              {"lblDAMode", PageControl::Kind::kLabel, "DAMode:", 770, 240},
              {"txtDAMode", PageControl::Kind::kTextBox, "", 1020, 330}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c[i].name, want[i].name);
    EXPECT_EQ(c[i].kind, want[i].kind);
    EXPECT_EQ(c[i].caption, want[i].caption);
    EXPECT_EQ(c[i].left, 90);
    EXPECT_EQ(c[i].width, 2700);
    EXPECT_EQ(c[i].top, want[i].top);
    EXPECT_EQ(c[i].height, want[i].height);
    EXPECT_EQ(c[i].tab_index, i);
  }
}

class PropertyPageEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control_.InitProperties();
    page_.SelectedControls({&control_});
    page_.SelectionChanged();
  }
  std::shared_ptr<DesignTimeContainer> container_ = std::make_shared<DesignTimeContainer>();
  Nimbo control_{container_, nullptr};
  PropertyPage page_;
};

TEST_F(PropertyPageEditTest, NewControlShowsZeroes) {
  EXPECT_EQ(page_.Text("txtActivePort"), "0");
  EXPECT_EQ(page_.Text("txtDAMode"), "0");
  EXPECT_FALSE(page_.Changed());
}

TEST_F(PropertyPageEditTest, TypingAndApplyingStoresAndMarksTheFormChanged) {
  page_.Text("txtActivePort", "80");
  EXPECT_TRUE(page_.Changed());
  page_.ApplyChanges();
  EXPECT_EQ(control_.ActivePort(), 80);
  EXPECT_GT(container_->changes(), 0);
  EXPECT_FALSE(page_.Changed());
}

TEST_F(PropertyPageEditTest, FractionsRoundAndJunkIsRefused) {
  page_.Text("txtActivePort", "12.5");
  page_.ApplyChanges();
  EXPECT_EQ(control_.ActivePort(), 12);

  // DAMode is applied first: when it fails, ActivePort is not applied either.
  page_.Text("txtDAMode", "abc");
  page_.Text("txtActivePort", "80");
  try {
    page_.ApplyChanges();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 13);
  }
  EXPECT_EQ(control_.DAMode(), 0);
  EXPECT_EQ(control_.ActivePort(), 12);
  EXPECT_TRUE(page_.Changed());

  // When only ActivePort fails, DAMode has already been applied.
  page_.Text("txtDAMode", "7");
  page_.Text("txtActivePort", "99999");
  EXPECT_THROW(page_.ApplyChanges(), Error);
  EXPECT_EQ(control_.DAMode(), 7);
  EXPECT_EQ(control_.ActivePort(), 12);
}

TEST_F(PropertyPageEditTest, OnlyTheFirstSelectedControlIsEdited) {
  Nimbo second(container_, nullptr);
  second.InitProperties();
  page_.SelectedControls({&control_, &second});
  page_.Text("txtDAMode", "5");
  page_.ApplyChanges();
  EXPECT_EQ(control_.DAMode(), 5);
  EXPECT_EQ(second.DAMode(), 0);
}

TEST(PropertyPageTest, NoSelectionAndUnknownBoxesAreErrors) {
  PropertyPage page;
  EXPECT_THROW(page.SelectionChanged(), Error);
  EXPECT_THROW(page.Text("txtOther", "1"), Error);
}

}  // namespace
}  // namespace nimbo

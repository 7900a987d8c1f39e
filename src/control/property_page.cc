// The design-time property page pPage1.
#include "nimbo/property_page.h"

#include "nimbo/error.h"
#include "nimbo/nimbo.h"

namespace nimbo {

PropertyPage::PropertyPage()
    : caption_("Nimbo Properties"),
      controls_{
          {"lblActivePort", PageControl::Kind::kLabel, "ActivePort:", 90, 120, 2700, 240, 0},
          {"txtActivePort", PageControl::Kind::kTextBox, "", 90, 370, 2700, 330, 1},
          {"lblDAMode", PageControl::Kind::kLabel, "DAMode:", 90, 770, 2700, 240, 2},
          {"txtDAMode", PageControl::Kind::kTextBox, "", 90, 1020, 2700, 330, 3},
      } {}

const std::string& PropertyPage::Text(std::string_view box) const {
  if (box == "txtActivePort") return txtActivePort_;
  if (box == "txtDAMode") return txtDAMode_;
  throw Error(err::kSubscriptOutOfRange);
}

std::string& PropertyPage::Box(std::string_view box) {
  if (box == "txtActivePort") return txtActivePort_;
  if (box == "txtDAMode") return txtDAMode_;
  throw Error(err::kSubscriptOutOfRange);
}

void PropertyPage::Text(std::string_view box, const std::string& text) {
  Box(box) = text;
  if (box == "txtActivePort") {
    txtActivePort_Change();
  } else {
    txtDAMode_Change();
  }
}

Nimbo& PropertyPage::FirstSelected() const {
  if (selected_.empty() || selected_.front() == nullptr) throw Error(err::kObjectNotSet);
  return *selected_.front();
}

void PropertyPage::SelectionChanged() {
  Nimbo& control = FirstSelected();
  txtDAMode_ = std::to_string(control.DAMode());
  txtActivePort_ = std::to_string(control.ActivePort());
  changed_ = false;
}

void PropertyPage::ApplyChanges() {
  Nimbo& control = FirstSelected();
  control.DAMode(Variant(txtDAMode_));
  control.ActivePort(Variant(txtActivePort_));
  changed_ = false;
}

}  // namespace nimbo

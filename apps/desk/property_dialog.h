// The design-time property page pPage1 as a dialog: its controls drawn where the page puts them
// (twips turned into pixels at the screen's logical DPI) in its tab order, editing a design-time
// instance. OK and Apply apply the changes to the instance, write its properties to the bag and
// save the bag to the property file; a value the property refuses is shown in the dialog (a line
// under the boxes, not a second dialog) and the dialog stays.
#ifndef NIMBO_APPS_DESK_PROPERTY_DIALOG_H_
#define NIMBO_APPS_DESK_PROPERTY_DIALOG_H_

#include <QDialog>
#include <map>
#include <string>

#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/property_page.h"

class QLabel;
class QLineEdit;

namespace nimbo::app::desk {

class PropertyDialog : public QDialog {
 public:
  // `control` is at design time; `file` may be empty (then nothing is saved).
  PropertyDialog(Nimbo& control, JsonPropertyBag& bag, std::string file, QWidget* parent);

  // Applies the boxes; false, after showing the error, when a value was refused or the file
  // could not be written.
  bool Apply();
  // The error the last Apply showed; empty after one that succeeded.
  QString ErrorText() const;

 private:
  void Reload();
  void accept() override;

  Nimbo& control_;
  JsonPropertyBag& bag_;
  std::string file_;
  PropertyPage page_;
  std::map<std::string, QLineEdit*> boxes_;
  QLabel* error_ = nullptr;
};

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_PROPERTY_DIALOG_H_

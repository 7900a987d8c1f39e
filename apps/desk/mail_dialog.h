// The Mail dialog: whom to mail the shown page to, the subject and the message. The server and
// the sender come from the command line and are shown, not edited.
#ifndef NIMBO_APPS_DESK_MAIL_DIALOG_H_
#define NIMBO_APPS_DESK_MAIL_DIALOG_H_

#include <QDialog>
#include <string>

#include "desk/desk_options.h"

class QLineEdit;
class QPlainTextEdit;

namespace nimbo::app::desk {

class MailDialog : public QDialog {
 public:
  MailDialog(const DeskOptions& options, QWidget* parent);

  std::string ToName() const;
  std::string ToAddress() const;
  std::string Subject() const;
  std::string Message() const;

 private:
  QLineEdit* to_name_;
  QLineEdit* to_address_;
  QLineEdit* subject_;
  QPlainTextEdit* message_;
};

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_MAIL_DIALOG_H_

// The Mail dialog.
#include "desk/mail_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace nimbo::app::desk {
namespace {

// Long enough for any address or subject; the component refuses line breaks itself.
constexpr int kMaxField = 1000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MailDialog::MailDialog(const DeskOptions& options, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Mail the Page"));
  auto* layout = new QFormLayout(this);
  to_name_ = new QLineEdit(this);
  to_address_ = new QLineEdit(this);
  subject_ = new QLineEdit(this);
  message_ = new QPlainTextEdit(this);
  for (QLineEdit* field : {to_name_, to_address_, subject_}) field->setMaxLength(kMaxField);
  const QString from =
      options.from.empty()
          ? QStringLiteral("(no sender: --from)")
          : (options.from_name.empty()
                 ? Q(options.from)
                 : QStringLiteral("%1 <%2>").arg(Q(options.from_name), Q(options.from)));
  auto* server = new QLabel(
      options.smtp.empty() ? QStringLiteral("(no server: --smtp)") : Q(options.smtp), this);
  auto* sender = new QLabel(from, this);
  server->setTextFormat(Qt::PlainText);
  sender->setTextFormat(Qt::PlainText);
  layout->addRow(QStringLiteral("Server:"), server);
  layout->addRow(QStringLiteral("From:"), sender);
  layout->addRow(QStringLiteral("To (name):"), to_name_);
  layout->addRow(QStringLiteral("To (address):"), to_address_);
  layout->addRow(QStringLiteral("Subject:"), subject_);
  layout->addRow(QStringLiteral("Message:"), message_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addRow(buttons);
  resize(460, 360);
}

std::string MailDialog::ToName() const { return to_name_->text().toStdString(); }
std::string MailDialog::ToAddress() const { return to_address_->text().toStdString(); }
std::string MailDialog::Subject() const { return subject_->text().toStdString(); }
std::string MailDialog::Message() const { return message_->toPlainText().toStdString(); }

}  // namespace nimbo::app::desk

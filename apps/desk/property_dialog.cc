// The design-time property page as a dialog.
#include "desk/property_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <vector>

#include "nimbo/error.h"

namespace nimbo::app::desk {
namespace {

constexpr int kTwipsPerInch = 1440;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

PropertyDialog::PropertyDialog(Nimbo& control, JsonPropertyBag& bag, std::string file,
                               QWidget* parent)
    : QDialog(parent), control_(control), bag_(bag), file_(std::move(file)) {
  setWindowTitle(Q(page_.Caption()));
  const int dpi_x = logicalDpiX();
  const int dpi_y = logicalDpiY();
  const auto x = [dpi_x](int twips) { return twips * dpi_x / kTwipsPerInch; };
  const auto y = [dpi_y](int twips) { return twips * dpi_y / kTwipsPerInch; };

  auto* surface = new QWidget(this);
  int right = 0;
  int bottom = 0;
  std::vector<std::pair<int, QWidget*>> tab_order;
  for (const PageControl& item : page_.Controls()) {
    QWidget* widget = nullptr;
    if (item.kind == PageControl::Kind::kLabel) {
      auto* label = new QLabel(Q(item.caption), surface);
      label->setTextFormat(Qt::PlainText);
      widget = label;
    } else {
      auto* box = new QLineEdit(surface);
      box->setMaxLength(64);
      boxes_[item.name] = box;
      widget = box;
    }
    widget->setObjectName(Q(item.name));
    widget->setGeometry(x(item.left), y(item.top), x(item.width), y(item.height));
    right = std::max(right, x(item.left + item.width));
    bottom = std::max(bottom, y(item.top + item.height));
    tab_order.emplace_back(item.tab_index, widget);
  }
  surface->setFixedSize(right + x(120), bottom + y(120));

  error_ = new QLabel(this);
  error_->setObjectName(QStringLiteral("error"));
  error_->setTextFormat(Qt::PlainText);
  error_->setWordWrap(true);
  error_->setStyleSheet(QStringLiteral("color: #a40000;"));

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
          [this] { Apply(); });
  surface->move(0, 0);
  const int width = std::max(surface->width(), 320);
  error_->setGeometry(8, surface->height(), width - 16, 40);
  buttons->setGeometry(8, surface->height() + 44, width - 16, 32);
  setFixedSize(width, surface->height() + 84);

  std::sort(tab_order.begin(), tab_order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < tab_order.size(); ++i) {
    setTabOrder(tab_order[i - 1].second, tab_order[i].second);
  }

  page_.SelectedControls({&control_});
  page_.SelectionChanged();
  Reload();
}

void PropertyDialog::Reload() {
  for (auto& [name, box] : boxes_) box->setText(Q(page_.Text(name)));
}

bool PropertyDialog::Apply() {
  // Only a box whose text changed is typed into, so that an untouched page applies nothing.
  for (auto& [name, box] : boxes_) {
    const std::string text = box->text().toStdString();
    if (page_.Text(name) != text) page_.Text(name, text);
  }
  if (!page_.Changed()) return true;
  try {
    page_.ApplyChanges();
    control_.WriteProperties(bag_);
    if (!file_.empty()) bag_.Save(file_);
  } catch (const Error& e) {
    QString text = QStringLiteral("Error: %1, %2").arg(e.number()).arg(Q(e.description()));
    if (!e.detail().empty()) text += QStringLiteral("\n") + Q(e.detail());
    error_->setText(text);
    return false;
  }
  error_->clear();
  page_.Changed(false);
  page_.SelectionChanged();
  Reload();
  return true;
}

QString PropertyDialog::ErrorText() const { return error_->text(); }

void PropertyDialog::accept() {
  if (Apply()) QDialog::accept();
}

}  // namespace nimbo::app::desk

// The main window of nimbo-desk.
#include "desk/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "desk/mail_dialog.h"
#include "desk/property_dialog.h"
#include "nimbo/error.h"

namespace nimbo::app::desk {
namespace {

constexpr char kMailSent[] = "Message Sent Successfully.";
// The dock keeps the newest entries; a long session must not grow it without end.
constexpr int kMaxLogEntries = 5000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string ErrorText(const Error& e) {
  return "Error: " + std::to_string(e.number()) + ", " + e.description();
}

}  // namespace

// The component's events, shown in the window after the session has printed them. Every
// handler returns at once: nothing here waits for the user.
class MainWindow::WindowEvents : public Events {
 public:
  explicit WindowEvents(MainWindow* window) : window_(window) {}
  void Busy(bool IsBusy) override {
    if (window_) window_->ShowBusy(IsBusy);
  }
  void OpenForm(const Variant& nFrm, const Variant& nID) override {
    if (window_) window_->ShowOpenForm(Text(nFrm), Text(nID));
  }
  void NimboMessage(const std::string& sMessage) override {
    if (window_) window_->ShowMessage(sMessage);
  }
  void LogIt(const std::string& AType, const std::string& ANarration) override {
    if (window_) window_->AddLog(QStringLiteral("%1: %2").arg(Q(AType), Q(ANarration)));
  }
  void BlaBla(const std::string& sBlaBla) override {
    if (window_) window_->AddLog(QStringLiteral("Diagnostic: %1").arg(Q(sBlaBla)));
  }

 private:
  static std::string Text(const Variant& value) {
    return value.IsNull() ? std::string() : value.ToText();
  }
  QPointer<MainWindow> window_;
};

MainWindow::MainWindow(const DeskOptions& options, std::ostream& out)
    : options_(options), out_(out) {
  setWindowTitle(QStringLiteral("Nimbo Data Browser"));
  BuildWidgets();

  tree_ = std::make_shared<nimbo::qt::TreeView>(tree_widget_);
  browser_ = std::make_shared<nimbo::qt::WebBrowser>(view_);
  socket_ = std::make_shared<nimbo::qt::Socket>();
  QObject::connect(browser_.get(), &nimbo::qt::WebBrowser::navigated, this,
                   [this](const QString& url) {
                     EmitJson(out_, {{"event", "Navigate"}, {"url", url.toStdString()}});
                   });

  HostControls host;
  host.tree = tree_;
  host.browser = browser_;
  host.model = [this]() -> const MemoryTreeView& { return tree_->model(); };
  host.shown = [this] { return browser_->LocationURL(); };
  host.do_events = [] { QCoreApplication::processEvents(); };
  host.events = std::make_shared<WindowEvents>(this);
  session_ = std::make_unique<BrowserSession>(options_.session, out_, std::move(host));

  // A link the user follows goes to link processing first; a record link opens its form and
  // the view stays on the report.
  browser_->SetUrlHandler([this](const std::string& url) {
    ++links_processed_;
    return session_->ProcessUrl(url);
  });
  if (!options_.session.save_to.empty()) {
    const QString target = Q(options_.session.save_to);
    browser_->SetSavePathProvider(
        [target](const QString&, bool) { return std::optional<QString>(target); });
  }
  if (!options_.session.print_to.empty()) browser_->SetPdfPrinter(Q(options_.session.print_to));

  nimbo::qt::WireMailSocket(session_->control(), socket_);
  QObject::connect(tree_.get(), &nimbo::qt::TreeView::nodeActivated, this,
                   [this](const std::shared_ptr<Node>& node) { OnNodeActivated(node); });

  LoadDesignInstance();
  BuildActions();
  resize(options_.width, options_.height);
}

MainWindow::~MainWindow() {
  if (wait_cursor_) QApplication::restoreOverrideCursor();
  // The component goes before the controls it was handed; an open conversation ends first.
  if (socket_) socket_->Close();
  session_.reset();
}

void MainWindow::BuildWidgets() {
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  tree_widget_ = new QTreeWidget(splitter);
  tree_widget_->setMinimumWidth(180);

  auto* right = new QWidget(splitter);
  auto* right_layout = new QVBoxLayout(right);
  right_layout->setContentsMargins(0, 0, 0, 0);
  right_layout->setSpacing(0);
  notice_bar_ = new QFrame(right);
  notice_bar_->setStyleSheet(
      QStringLiteral("QFrame { background: #fff3cd; border-bottom: 1px solid #d6c28a; }"));
  auto* notice_layout = new QHBoxLayout(notice_bar_);
  notice_layout->setContentsMargins(8, 4, 4, 4);
  notice_text_ = new QLabel(notice_bar_);
  notice_text_->setWordWrap(true);
  notice_text_->setTextFormat(Qt::PlainText);  // a message is text, never markup
  auto* dismiss = new QToolButton(notice_bar_);
  dismiss->setText(QStringLiteral("\u00d7"));
  dismiss->setAutoRaise(true);
  QObject::connect(dismiss, &QToolButton::clicked, notice_bar_, &QWidget::hide);
  notice_layout->addWidget(notice_text_, 1);
  notice_layout->addWidget(dismiss);
  notice_bar_->hide();
  view_ = new QWebEngineView(right);
  right_layout->addWidget(notice_bar_);
  right_layout->addWidget(view_, 1);

  splitter->addWidget(tree_widget_);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 940});
  setCentralWidget(splitter);

  busy_label_ = new QLabel(QStringLiteral("Ready"), this);
  message_label_ = new QLabel(this);
  message_label_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(message_label_, 1);
  statusBar()->addPermanentWidget(busy_label_);

  auto* dock = new QDockWidget(
      options_.session.talking ? QStringLiteral("Audit and diagnostics") : QStringLiteral("Audit"),
      this);
  dock->setObjectName(QStringLiteral("audit"));
  log_ = new QListWidget(dock);
  dock->setWidget(log_);
  addDockWidget(Qt::BottomDockWidgetArea, dock);
  dock->setMaximumHeight(160);
}

void MainWindow::BuildActions() {
  QToolBar* bar = addToolBar(QStringLiteral("Page"));
  bar->setObjectName(QStringLiteral("page"));
  bar->setMovable(false);
  QObject::connect(bar->addAction(QStringLiteral("Refresh")), &QAction::triggered, this,
                   [this] { Refresh(); });
  QObject::connect(bar->addAction(QStringLiteral("Save")), &QAction::triggered, this,
                   [this] { SavePage(); });
  QObject::connect(bar->addAction(QStringLiteral("Print")), &QAction::triggered, this,
                   [this] { PrintPage(); });
  QObject::connect(bar->addAction(QStringLiteral("Mail\u2026")), &QAction::triggered, this,
                   [this] { OpenMailDialog(); });
  QObject::connect(bar->addAction(QStringLiteral("Properties\u2026")), &QAction::triggered, this,
                   [this] { OpenPropertyDialog(); });
}

void MainWindow::LoadDesignInstance() {
  design_container_ = std::make_shared<DesignTimeContainer>();
  design_control_ = std::make_unique<Nimbo>(design_container_, nullptr);
  if (!options_.form.empty() && std::filesystem::exists(options_.form)) {
    try {
      design_bag_ = JsonPropertyBag::Load(options_.form);
      design_control_->ReadProperties(design_bag_);
    } catch (const Error& e) {
      throw std::runtime_error("cannot read the property file " + options_.form + ": " +
                               ErrorText(e) + (e.detail().empty() ? "" : "; " + e.detail()));
    }
  } else {
    design_control_->InitProperties();
  }
}

void MainWindow::Refresh() {
  RunDisplay([this] { session_->Refresh(); });
}

void MainWindow::OnNodeActivated(const std::shared_ptr<Node>& node) {
  if (!displaying_) {
    RunDisplay([this, node] { Display(node); });
    return;
  }
  // Runs when the running display ends; replaces an earlier waiting click. Meanwhile the
  // selection stays on the node being displayed (a refresh displays the root).
  pending_ = node;
  try {
    std::shared_ptr<Node> shown = displayed_;
    if (!shown && tree_->Count() > 0) {
      shown = tree_->Item(1);
      while (shown->Parent()) shown = shown->Parent();
    }
    // Selected through the tree view, so that the widget shows it too (and stays quiet).
    if (shown) shown->Selected(true);
  } catch (const Error&) {
    // The node went with a refresh; the refresh selects its own.
  }
}

void MainWindow::Display(const std::shared_ptr<Node>& node) {
  displayed_ = node;
  session_->Display(node);
  displayed_.reset();
}

void MainWindow::RunDisplay(const std::function<void()>& work) {
  if (displaying_) return;
  displaying_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{displaying_};
  work();
  while (pending_) {
    const auto node = std::move(pending_);
    pending_.reset();
    try {
      node->Selected(true);
    } catch (const Error&) {
      continue;  // a node a refresh removed meanwhile
    }
    Display(node);
  }
}

void MainWindow::SavePage() {
  if (displaying_) return;  // the button comes back when the page is there
  RunDisplay([this] { session_->control().SavePage(); });
}

void MainWindow::PrintPage() {
  if (displaying_) return;
  RunDisplay([this] { session_->control().PrintPage(); });
}

bool MainWindow::StartMail(const std::string& to_name, const std::string& to,
                           const std::string& subject, const std::string& message) {
  Nimbo& control = session_->control();
  mail_sent_ = false;
  try {
    control.CanMail(options_.can_mail);
    control.Server(options_.smtp);
    control.FromID(options_.from);
    control.FromName(options_.from_name);
    control.ToName(to_name);
    control.ToID(to);
    control.Subject(subject);
    control.Message(message);
    const auto timeout = std::chrono::seconds(static_cast<long>(std::ceil(options_.mail_timeout)));
    nimbo::qt::StartMail(control, *socket_, timeout);
  } catch (const Error& e) {
    std::cerr << "nimbo-desk: " << ErrorText(e) << "\n";
    if (!e.detail().empty()) std::cerr << "nimbo-desk: " << e.detail() << "\n";
    ShowMessage(ErrorText(e));
    return false;
  }
  return true;
}

bool MainWindow::mailing() const { return socket_->state() != nimbo::qt::Socket::State::kClosed; }

void MainWindow::ShowBusy(bool busy) {
  busy_label_->setText(busy ? QStringLiteral("Busy\u2026") : QStringLiteral("Ready"));
  if (busy && !wait_cursor_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    wait_cursor_ = true;
  } else if (!busy && wait_cursor_) {
    QApplication::restoreOverrideCursor();
    wait_cursor_ = false;
  }
}

void MainWindow::ShowMessage(const std::string& message) {
  if (message == kMailSent) mail_sent_ = true;
  notice_text_->setText(Q(message));
  notice_bar_->show();
  message_label_->setText(Q(message));
}

void MainWindow::ShowOpenForm(const std::string& form, const std::string& id) {
  // One form at a time: a later record link replaces the shown form. The dialog is shown, not
  // run: the component resumes as soon as this returns.
  if (form_dialog_) form_dialog_->close();
  auto* dialog = new QDialog(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setModal(false);
  dialog->setWindowTitle(QStringLiteral("Form %1").arg(Q(form)));
  auto* layout = new QFormLayout(dialog);
  auto* form_label = new QLabel(Q(form), dialog);
  form_label->setTextFormat(Qt::PlainText);
  form_label->setObjectName(QStringLiteral("form"));
  auto* id_label = new QLabel(Q(id), dialog);
  id_label->setTextFormat(Qt::PlainText);
  id_label->setObjectName(QStringLiteral("record"));
  layout->addRow(QStringLiteral("Form number:"), form_label);
  layout->addRow(QStringLiteral("Record id:"), id_label);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  layout->addRow(buttons);
  form_dialog_ = dialog;
  dialog->show();
}

void MainWindow::AddLog(const QString& line) {
  auto* item = new QListWidgetItem(line);
  log_->addItem(item);
  while (log_->count() > kMaxLogEntries) delete log_->takeItem(0);
  log_->scrollToItem(item);
}

void MainWindow::OpenMailDialog() {
  MailDialog dialog(options_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  StartMail(dialog.ToName(), dialog.ToAddress(), dialog.Subject(), dialog.Message());
}

void MainWindow::OpenPropertyDialog() {
  PropertyDialog dialog(*design_control_, design_bag_, options_.form, this);
  dialog.exec();
}

}  // namespace nimbo::app::desk

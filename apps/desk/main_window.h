// The main window of nimbo-desk: the component's tree (QTreeWidget) and page (QWebEngineView)
// side by side, a toolbar with the page commands, a notice bar and a status bar for the
// component's messages and busy state, and a dock listing the audit entries and diagnostics.
//
// Re-entrancy: the component lets Qt process events while it makes a page (DoEvents). It keeps
// the tree disabled meanwhile, but a selection can still change (a keyboard event already
// queued, a program driving the widget). Such a change is not run inside the running display:
// the selection goes back to the node being displayed (the component reads it to log and label
// the page), the clicked node is remembered and is selected and displayed as soon as the running
// display ends. Only the last click is kept: a user clicking through several nodes wants the
// last one.
#ifndef NIMBO_APPS_DESK_MAIN_WINDOW_H_
#define NIMBO_APPS_DESK_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "browser_session.h"
#include "desk/desk_options.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/qt/host.h"
#include "nimbo/qt/socket.h"
#include "nimbo/qt/tree_view.h"
#include "nimbo/qt/web_browser.h"

class QDialog;
class QLabel;
class QListWidget;
class QTreeWidget;
class QWebEngineView;
class QWidget;

namespace nimbo::app::desk {

class MainWindow : public QMainWindow {
 public:
  // Builds the window and the session on it. Throws std::runtime_error for an unusable option
  // (the database, the folder, the property file).
  MainWindow(const DeskOptions& options, std::ostream& out);
  ~MainWindow() override;

  BrowserSession& session() { return *session_; }
  nimbo::qt::TreeView& tree() { return *tree_; }
  nimbo::qt::WebBrowser& browser() { return *browser_; }
  nimbo::qt::Socket& socket() { return *socket_; }
  QWebEngineView* view() const { return view_; }

  // Refresh, Save and Print, as the toolbar's buttons do.
  void Refresh();
  void SavePage();
  void PrintPage();
  // How many addresses the view has handed to link processing so far.
  int links_processed() const { return links_processed_; }
  // Whether a display (or a refresh) is running or a clicked node waits for its turn.
  bool displaying() const { return displaying_ || pending_ != nullptr; }

  // Starts mailing the shown page with the window's mail settings. False, with the reason on
  // stderr and in the notice bar, when the component raised an error; true otherwise (the
  // outcome arrives later as a message).
  bool StartMail(const std::string& to_name, const std::string& to, const std::string& subject,
                 const std::string& message);
  // Whether a mail conversation is going on.
  bool mailing() const;
  // Whether the last mail was sent (the server accepted it).
  bool mail_sent() const { return mail_sent_; }

  // The window's parts, for the event handler.
  void ShowBusy(bool busy);
  void ShowMessage(const std::string& message);
  void ShowOpenForm(const std::string& form, const std::string& id);
  void AddLog(const QString& line);

 private:
  class WindowEvents;

  void BuildWidgets();
  void BuildActions();
  void LoadDesignInstance();
  void OnNodeActivated(const std::shared_ptr<Node>& node);
  // Runs a display or refresh unless one is running, then the click that waited for it.
  void RunDisplay(const std::function<void()>& work);
  void Display(const std::shared_ptr<Node>& node);
  void OpenMailDialog();
  void OpenPropertyDialog();

  DeskOptions options_;
  std::ostream& out_;
  QTreeWidget* tree_widget_ = nullptr;
  QWebEngineView* view_ = nullptr;
  QWidget* notice_bar_ = nullptr;
  QLabel* notice_text_ = nullptr;
  QLabel* busy_label_ = nullptr;
  QLabel* message_label_ = nullptr;
  QListWidget* log_ = nullptr;
  QPointer<QDialog> form_dialog_;
  std::shared_ptr<nimbo::qt::TreeView> tree_;
  std::shared_ptr<nimbo::qt::WebBrowser> browser_;
  std::shared_ptr<nimbo::qt::Socket> socket_;
  std::unique_ptr<BrowserSession> session_;
  bool displaying_ = false;
  std::shared_ptr<Node> displayed_;  // the node of the running display; null during a refresh
  std::shared_ptr<Node> pending_;
  bool wait_cursor_ = false;
  bool mail_sent_ = false;
  int links_processed_ = 0;
  // The design-time instance the Properties dialog edits, and its property file's contents.
  std::shared_ptr<DesignTimeContainer> design_container_;
  std::unique_ptr<Nimbo> design_control_;
  JsonPropertyBag design_bag_;
};

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_MAIN_WINDOW_H_

// nimbo::qt::WebBrowser: the component's web browser on a QWebEngineView the host owns.
//
// [X] Navigate: a file path (shown as a file: URL) or "about:blank". Loading goes on in the
//     background; busy() and the busyChanged signal tell the host while it does.
// [X] ExecWB(kCmdSaveAs): QWebEnginePage::save of the shown page to the file the save-path
//     provider chooses (by default a file dialog; "*.mht" saves one MIME HTML file, anything
//     else the page with its images in a folder beside it). Waits, bounded, for the save to end.
// [X] ExecWB(kCmdPrint): the print dialog and QWebEngineView::print, or, with SetPdfPrinter,
//     QWebEnginePage::printToPdf to a file without asking. Waits, bounded, for the print to end.
// [X] Navigation requests: a link the user follows (or a page script's navigation, or a form
//     submitted) is handed to the URL handler (normally Nimbo::ProcessURL) with its address
//     decoded; when the handler takes it, the view does not follow it. A link to a file in the
//     shown page's folder is handed as its file name, as the page wrote it (a record link
//     href='^00001123' arrives as "^00001123", not as ".../%5E00001123"); another local file as
//     its path; anything else as the URL with its percent-encoding undone. The adapter's own
//     loads (Navigate), reloads and history moves are not handed over.
// [ ] Downloads other than the page's own save, pop-up windows.
//
// Failures of ExecWB raise nimbo::Error as the in-process browser does: 5 with nothing shown or
// no printer, 75 when the save or the print fails or does not end in time.
// The view must outlive the adapter; only the GUI thread calls it.
#ifndef NIMBO_QT_WEB_BROWSER_H_
#define NIMBO_QT_WEB_BROWSER_H_

#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "nimbo/qt/export.h"
#include "nimbo/web_browser.h"

class QWebEngineView;

namespace nimbo::qt {

class NIMBO_QT_API WebBrowser : public QObject, public nimbo::WebBrowser {
  Q_OBJECT

 public:
  // Decides about an address the user asked to go to; true: handled, the view stays. Called
  // from inside the web engine's navigation request: it may call Navigate, but must not destroy
  // the view. An exception it throws counts as false.
  using UrlHandler = std::function<bool(const std::string& url)>;
  // Chooses where "Save As" writes the shown page; nothing: the user cancelled (no error).
  // `prompt` is ExecWB's option == kPromptUser.
  using SavePathProvider = std::function<std::optional<QString>(const QString& shown, bool prompt)>;

  // Installs its own page on the view (so that it sees navigation requests).
  explicit WebBrowser(QWebEngineView* view, QObject* parent = nullptr);
  ~WebBrowser() override;

  // nimbo::WebBrowser.
  void Navigate(const std::string& url) override;
  void ExecWB(int command, int option) override;

  // Host side.
  void SetUrlHandler(UrlHandler handler);
  // Empty: a file dialog asks the user.
  void SetSavePathProvider(SavePathProvider provider);
  // Non-empty: "Print" writes the shown page as PDF to this file, without a dialog. Empty: the
  // print dialog.
  void SetPdfPrinter(QString pdf_path);
  // How long ExecWB waits for a save or a print to end (default 120 s).
  void SetCommandTimeout(std::chrono::milliseconds timeout);

  // The last address navigated to, as the component gave it ("" before the first).
  const std::string& LocationURL() const;
  // True from a navigation until its page has loaded (or failed to).
  bool busy() const;
  // Whether the last load that ended succeeded.
  bool lastLoadOk() const;
  QWebEngineView* view() const;

 Q_SIGNALS:
  // Navigate was called, with the component's address.
  void navigated(const QString& url);
  void busyChanged(bool busy);
  // The page of the last navigation has loaded (ok) or failed to.
  void loadFinished(bool ok);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo::qt

#endif  // NIMBO_QT_WEB_BROWSER_H_

// nimbo::qt::WebBrowser on QWebEngineView. A page of its own (Page) sees every navigation
// request: the adapter's own loads go through, what the user or a page script asks for goes to
// the host's URL handler first. Save and print are asynchronous in the web engine; ExecWB waits
// for them in a local event loop, bounded by the command timeout.
#include "nimbo/qt/web_browser.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <chrono>
#include <cstdint>
#include <utility>

#include "nimbo/error.h"

namespace nimbo::qt {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The address the component gave, as the view loads it.
QUrl UrlOf(const std::string& address) {
  const QString text = Q(address);
  if (text.startsWith(QLatin1String("about:"), Qt::CaseInsensitive)) return QUrl(text);
  // A URL with a scheme of two letters or more ("file:", "http:"); "C:\..." is a path.
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  if (colon > 1 && !text.contains(QLatin1Char('\\'))) {
    const QUrl url(text);
    if (url.isValid() && !url.scheme().isEmpty()) return url;
  }
  return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

// An address with every percent-encoding undone.
QString Decoded(const QUrl& url) {
  return QString::fromUtf8(QByteArray::fromPercentEncoding(url.toEncoded()));
}

// The same document, whatever encoding the engine chose for the address.
bool SameDocument(const QUrl& a, const QUrl& b) {
  const auto options =
      QUrl::StripTrailingSlash | QUrl::NormalizePathSegments | QUrl::RemoveFragment;
  return Decoded(a.adjusted(options)) == Decoded(b.adjusted(options));
}

}  // namespace

class WebBrowser::Impl {
 public:
  // The view's page: asks the adapter about every navigation.
  class Page final : public QWebEnginePage {
   public:
    Page(Impl* impl, QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent), impl_(impl) {}
    void Detach() { impl_ = nullptr; }

   protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type,
                                 bool is_main_frame) override {
      if (impl_ == nullptr) return true;
      return impl_->AcceptNavigation(url, type, is_main_frame);
    }

   private:
    Impl* impl_;
  };

  Impl(WebBrowser* owner, QWebEngineView* view) : owner_(owner), view_(view) {
    auto* page = new Page(this, view->page()->profile(), view);
    page_ = page;
    view->setPage(page);
    QObject::connect(page, &QWebEnginePage::loadingChanged, owner,
                     [this](const QWebEngineLoadingInfo& info) { LoadingChanged(info); });
  }

  ~Impl() {
    if (page_ != nullptr) {
      page_->Detach();
      QObject::disconnect(page_, nullptr, owner_, nullptr);
    }
  }

  void Navigate(const std::string& address) {
    location_ = address;
    const QUrl url = UrlOf(address);
    loading_url_ = url;
    own_load_ = url;
    ++navigation_;
    reissued_ = 0;
    SetBusy(true);
    if (page_ != nullptr) page_->load(url);
    Q_EMIT owner_->navigated(Q(address));
  }

  void ExecWB(int command, int option) {
    switch (command) {
      case kCmdSaveAs:
        return SaveAs(option);
      case kCmdPrint:
        return Print(option);
      default:
        throw Error::WithDetail(err::kInvalidCall,
                                "Unknown browser command " + std::to_string(command));
    }
  }

  bool AcceptNavigation(const QUrl& url, QWebEnginePage::NavigationType type, bool main_frame) {
    using Type = QWebEnginePage::NavigationType;
    if (own_load_.has_value() && SameDocument(url, *own_load_)) {
      own_load_.reset();
      return true;  // the adapter's own Navigate
    }
    const bool asked = type == Type::NavigationTypeLinkClicked ||
                       type == Type::NavigationTypeFormSubmitted ||
                       type == Type::NavigationTypeOther || type == Type::NavigationTypeRedirect;
    if (!asked || !handler_) return true;
    // A handler may navigate, or destroy the view; nothing below touches them after it.
    const UrlHandler handler = handler_;
    bool handled = false;
    try {
      handled = handler(Address(url));
    } catch (...) {
      handled = false;  // nothing escapes into the web engine
    }
    if (handled) return false;
    if (main_frame) {
      loading_url_ = url;  // the view follows the link: its loading ends the busy time too
    }
    return true;
  }

  // The address the handler sees, decoded: a link to a file in the shown page's folder is its
  // file name as the page wrote it ("^00001123" in a report page, which the engine resolves to
  // ".../%5E00001123"); any other address is the decoded URL.
  std::string Address(const QUrl& url) const {
    if (url.isLocalFile() && !url.hasQuery() && !url.hasFragment()) {
      const QUrl shown = page_ != nullptr ? page_->url() : QUrl();
      if (shown.isLocalFile()) {
        const QFileInfo target(url.toLocalFile());
        const QFileInfo page(shown.toLocalFile());
        if (target.absolutePath() == page.absolutePath()) return target.fileName().toStdString();
      }
      return url.toLocalFile().toStdString();
    }
    return Decoded(url).toStdString();
  }

  void LoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
      ++starts_;
      return;
    }
    const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
    // The end of a load that a later navigation replaced is no end of the busy time.
    if (loading_url_.has_value() && !SameDocument(info.url(), *loading_url_)) {
      CheckNotDropped();
      return;
    }
    loading_url_.reset();
    last_ok_ = ok;
    QPointer<WebBrowser> alive(owner_);
    SetBusy(false);
    if (!alive) return;
    Q_EMIT owner_->loadFinished(ok);
  }

  // When loads are asked for in quick succession (a blank page, then the report page, twice
  // over, as the component does while the user clicks on), the engine may end them with the
  // end of an earlier one and never start the last: the view would stay on the blank page and
  // busy for good. An end of another load that no new load follows soon means just that, and
  // the wanted page is asked for again, a few times at most.
  void CheckNotDropped() {
    QTimer::singleShot(kSettle, owner_, [this, navigation = navigation_, starts = starts_] {
      if (navigation != navigation_ || starts != starts_ || !busy_ || !loading_url_) return;
      if (reissued_ >= kMaxReissues || page_ == nullptr) return;
      ++reissued_;
      own_load_ = *loading_url_;
      page_->load(*loading_url_);
    });
  }

  void SetBusy(bool busy) {
    if (busy_ == busy) return;
    busy_ = busy;
    Q_EMIT owner_->busyChanged(busy);
  }

  // The shown document, or 5 when nothing is shown.
  void RequireShown(const char* command) const {
    if (location_.empty() || location_ == "about:blank" || page_ == nullptr) {
      throw Error::WithDetail(err::kInvalidCall, std::string(command) + ": no document is shown");
    }
  }

  // Waits until `done` or the timeout; false on the timeout.
  bool WaitFor(const std::function<bool()>& done, QObject* source) const {
    if (done()) return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;  // re-checks when an event other than the awaited one ends a wait
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (done()) loop.quit();
    });
    if (source != nullptr) QObject::connect(source, &QObject::destroyed, &loop, &QEventLoop::quit);
    timer.start(timeout_);
    poll.start(50);
    while (!done() && timer.isActive()) loop.exec();
    return done();
  }

  // The page must have loaded before it is saved or printed.
  void WaitForLoad(const char* command) {
    if (!busy_) return;
    if (!WaitFor([this] { return !busy_; }, page_)) {
      throw Error::WithDetail(err::kPathFileAccess,
                              std::string(command) + ": the page did not finish loading in time");
    }
  }

  void SaveAs(int option) {
    RequireShown("Save As");
    const QString shown = Q(location_);
    std::optional<QString> destination;
    if (save_path_) {
      destination = save_path_(shown, option == kPromptUser);
    } else {
      const QString chosen = QFileDialog::getSaveFileName(
          view_, QObject::tr("Save As"), QFileInfo(shown).completeBaseName() + ".mht",
          QObject::tr("Web archive, single file (*.mht);;Web page, complete (*.htm *.html)"));
      if (!chosen.isEmpty()) destination = chosen;
    }
    if (!destination.has_value() || destination->isEmpty()) return;  // cancelled
    WaitForLoad("Save As");
    if (page_ == nullptr) throw Error::WithDetail(err::kInvalidCall, "Save As: no view");

    const QString path = QFileInfo(*destination).absoluteFilePath();
    const bool mht = path.endsWith(QLatin1String(".mht"), Qt::CaseInsensitive) ||
                     path.endsWith(QLatin1String(".mhtml"), Qt::CaseInsensitive);
    const auto format = mht ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                            : QWebEngineDownloadRequest::CompleteHtmlSaveFormat;

    QPointer<QWebEngineDownloadRequest> download;
    QWebEngineProfile* profile = page_->profile();
    const QPointer<QWebEnginePage> page = page_.data();
    const auto connection = QObject::connect(
        profile, &QWebEngineProfile::downloadRequested, owner_,
        [&download, page](QWebEngineDownloadRequest* request) {
          if (!request->isSavePageDownload() || request->page() != page || download) return;
          download = request;
          if (request->state() == QWebEngineDownloadRequest::DownloadRequested) request->accept();
        });
    page_->save(path, format);
    const bool ended = WaitFor([&download] { return download && download->isFinished(); }, profile);
    QObject::disconnect(connection);
    if (!ended) {
      if (download) download->cancel();
      throw Error::WithDetail(err::kPathFileAccess,
                              "Save As: saving " + path.toStdString() + " did not end in time");
    }
    // (Qt 6.4's interruptReasonString() crashes on a save-page download, so the detail names
    // the state only.)
    if (download->state() != QWebEngineDownloadRequest::DownloadCompleted) {
      const bool cancelled = download->state() == QWebEngineDownloadRequest::DownloadCancelled;
      throw Error::WithDetail(err::kPathFileAccess,
                              "Save As: saving " + path.toStdString() +
                                  (cancelled ? " was cancelled" : " was interrupted"));
    }
  }

  void Print(int option) {
    RequireShown("Print");
    if (!pdf_path_.isEmpty()) return PrintToPdf();
    QPrinter printer(QPrinter::HighResolution);
    if (option == kPromptUser) {
      QPrintDialog dialog(&printer, view_);
      dialog.setWindowTitle(QObject::tr("Print"));
      if (dialog.exec() != QDialog::Accepted) return;  // cancelled
    } else if (QPrinterInfo::defaultPrinter().isNull() && printer.outputFileName().isEmpty()) {
      throw Error::WithDetail(err::kInvalidCall, "Print: there is no printer");
    }
    WaitForLoad("Print");
    if (view_ == nullptr) throw Error::WithDetail(err::kInvalidCall, "Print: no view");
    std::optional<bool> result;
    const auto connection = QObject::connect(view_, &QWebEngineView::printFinished, owner_,
                                             [&result](bool success) { result = success; });
    view_->print(&printer);
    const bool ended = WaitFor([&result] { return result.has_value(); }, view_);
    QObject::disconnect(connection);
    if (!ended)
      throw Error::WithDetail(err::kPathFileAccess, "Print: printing did not end in time");
    if (!*result) throw Error::WithDetail(err::kPathFileAccess, "Print: printing failed");
  }

  void PrintToPdf() {
    WaitForLoad("Print");
    if (page_ == nullptr) throw Error::WithDetail(err::kInvalidCall, "Print: no view");
    const QString path = QFileInfo(pdf_path_).absoluteFilePath();
    std::optional<bool> result;
    const auto connection = QObject::connect(page_, &QWebEnginePage::pdfPrintingFinished, owner_,
                                             [&result, path](const QString& file, bool success) {
                                               if (QFileInfo(file).absoluteFilePath() == path)
                                                 result = success;
                                             });
    page_->printToPdf(path);
    const bool ended = WaitFor([&result] { return result.has_value(); }, page_);
    QObject::disconnect(connection);
    if (!ended) {
      throw Error::WithDetail(err::kPathFileAccess,
                              "Print: writing " + path.toStdString() + " did not end in time");
    }
    if (!*result) {
      throw Error::WithDetail(err::kPathFileAccess,
                              "Print: writing " + path.toStdString() + " failed");
    }
  }

  WebBrowser* owner_;
  QPointer<QWebEngineView> view_;
  QPointer<Page> page_;
  std::string location_;
  std::optional<QUrl> own_load_;     // the adapter's load the page has not asked about yet
  std::optional<QUrl> loading_url_;  // the load whose end ends the busy time
  static constexpr std::chrono::milliseconds kSettle{300};
  static constexpr int kMaxReissues = 3;
  std::uint64_t navigation_ = 0;  // counts Navigate calls
  std::uint64_t starts_ = 0;      // counts the loads the engine started
  int reissued_ = 0;              // times the wanted page was asked for again
  bool busy_ = false;
  bool last_ok_ = false;
  UrlHandler handler_;
  SavePathProvider save_path_;
  QString pdf_path_;
  std::chrono::milliseconds timeout_{120'000};
};

WebBrowser::WebBrowser(QWebEngineView* view, QObject* parent) : QObject(parent) {
  if (view == nullptr) throw Error::WithDetail(err::kInvalidCall, "No web engine view");
  impl_ = std::make_unique<Impl>(this, view);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const std::string& url) { impl_->Navigate(url); }
void WebBrowser::ExecWB(int command, int option) { impl_->ExecWB(command, option); }
void WebBrowser::SetUrlHandler(UrlHandler handler) { impl_->handler_ = std::move(handler); }
void WebBrowser::SetSavePathProvider(SavePathProvider provider) {
  impl_->save_path_ = std::move(provider);
}
void WebBrowser::SetPdfPrinter(QString pdf_path) { impl_->pdf_path_ = std::move(pdf_path); }
void WebBrowser::SetCommandTimeout(std::chrono::milliseconds timeout) { impl_->timeout_ = timeout; }
const std::string& WebBrowser::LocationURL() const { return impl_->location_; }
bool WebBrowser::busy() const { return impl_->busy_; }
bool WebBrowser::lastLoadOk() const { return impl_->last_ok_; }
QWebEngineView* WebBrowser::view() const { return impl_->view_; }

}  // namespace nimbo::qt

// nimbo::qt::WebBrowser on a real QWebEngineView (offscreen): loading files, the busy time, link
// clicks handed to the URL handler (a record link kept, an ordinary link followed), save as MIME
// HTML and as a complete page, printing to PDF, a cancelled print dialog, and the errors.
#include "nimbo/qt/web_browser.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <optional>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/web_browser.h"
#include "qt_test_support.h"

using nimbo::qt_testing::ErrorOf;

namespace {

constexpr int kWait = 120'000;  // ms; a load takes well under a second

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// A report page as the component writes it: a record link, an ordinary link, a picture.
const char kPage[] =
    "<html><head><title>Sales</title></head><body><h1>Sales by Region</h1>"
    "<img src='dot.gif' width=4 height=4>"
    "<table><tr><td class=hvr><a id=record href='^00001123'>Click to Open Entry Form . . .</a>"
    "</td></tr></table><p><a id=plain href='other.htm'>Other page</a></p></body></html>";

// A 1x1 GIF.
const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                              0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
                              0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                              0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

}  // namespace

class WebBrowserTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString page_;

  QString Path(const QString& name) const { return dir_.filePath(name); }

  // A view with the adapter, showing the report page.
  struct Shown {
    QWebEngineView view;
    nimbo::qt::WebBrowser browser{&view};
  };
  bool Load(nimbo::qt::WebBrowser& browser, const QString& path) {
    QSignalSpy finished(&browser, &nimbo::qt::WebBrowser::loadFinished);
    browser.Navigate(path.toStdString());
    return finished.wait(kWait) && finished.at(0).at(0).toBool();
  }

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    page_ = Path("oDatNav.htm");
    Write(page_, kPage);
    Write(Path("dot.gif"), QByteArray(reinterpret_cast<const char*>(kGif), sizeof kGif));
    Write(Path("other.htm"), "<html><body><h1>Other</h1></body></html>");
  }

  void navigateLoadsAFileAndIsBusyUntilItHas() {
    Shown s;
    QSignalSpy navigated(&s.browser, &nimbo::qt::WebBrowser::navigated);
    QSignalSpy busy(&s.browser, &nimbo::qt::WebBrowser::busyChanged);
    QSignalSpy finished(&s.browser, &nimbo::qt::WebBrowser::loadFinished);
    QCOMPARE(s.browser.LocationURL(), std::string());
    s.browser.Navigate(page_.toStdString());
    QVERIFY(s.browser.busy());
    QCOMPARE(navigated.count(), 1);
    QCOMPARE(navigated.at(0).at(0).toString(), page_);
    QCOMPARE(s.browser.LocationURL(), page_.toStdString());
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(!s.browser.busy());
    QVERIFY(s.browser.lastLoadOk());
    QCOMPARE(busy.count(), 2);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    QCOMPARE(busy.at(1).at(0).toBool(), false);
    QCOMPARE(s.view.url(), QUrl::fromLocalFile(page_));
    QTRY_COMPARE_WITH_TIMEOUT(s.view.title(), QString("Sales"), kWait);

    // about:blank as it is.
    QVERIFY(Load(s.browser, "about:blank"));
    QCOMPARE(s.view.url(), QUrl("about:blank"));
    QCOMPARE(s.browser.LocationURL(), std::string("about:blank"));
  }

  void aMissingFileEndsTheBusyTimeToo() {
    Shown s;
    QSignalSpy finished(&s.browser, &nimbo::qt::WebBrowser::loadFinished);
    s.browser.Navigate(Path("missing.htm").toStdString());
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!s.browser.busy());
    QVERIFY(!s.browser.lastLoadOk());
  }

  void aRecordLinkGoesToTheHandlerAndIsNotFollowed() {
    Shown s;
    std::vector<std::string> asked;
    s.browser.SetUrlHandler([&](const std::string& url) {
      asked.push_back(url);
      return url.find('^') != std::string::npos;  // as Nimbo::ProcessURL
    });
    QVERIFY(Load(s.browser, page_));
    QVERIFY(asked.empty());  // the adapter's own load is not asked about

    QSignalSpy url_changed(&s.view, &QWebEngineView::urlChanged);
    s.view.page()->runJavaScript("document.getElementById('record').click()");
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), std::size_t{1}, kWait);
    QCOMPARE(asked[0], std::string("^00001123"));  // the link as the page wrote it
    QTest::qWait(300);
    QCOMPARE(s.view.url(), QUrl::fromLocalFile(page_));
    QCOMPARE(url_changed.count(), 0);

    // An ordinary link: asked about, not handled, followed.
    s.view.page()->runJavaScript("document.getElementById('plain').click()");
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), std::size_t{2}, kWait);
    QCOMPARE(asked[1], std::string("other.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(s.view.url(), QUrl::fromLocalFile(Path("other.htm")), kWait);
    QCOMPARE(s.browser.LocationURL(), page_.toStdString());  // the component's address

    // A page script's navigation is asked about too.
    QVERIFY(Load(s.browser, page_));
    s.view.page()->runJavaScript("location.href = '%5E00002000042'");
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), std::size_t{3}, kWait);
    QCOMPARE(asked[2], std::string("^00002000042"));
    QTest::qWait(300);
    QCOMPARE(s.view.url(), QUrl::fromLocalFile(page_));
  }

  void saveAsMimeHtmlAndAsACompletePage() {
    Shown s;
    QVERIFY(Load(s.browser, page_));
    std::vector<std::pair<QString, bool>> asked;
    QString destination = Path("saved.mht");
    s.browser.SetSavePathProvider([&](const QString& shown, bool prompt) -> std::optional<QString> {
      asked.emplace_back(shown, prompt);
      return destination;
    });
    s.browser.ExecWB(nimbo::kCmdSaveAs, nimbo::kPromptUser);
    QCOMPARE(asked.size(), std::size_t{1});
    QCOMPARE(asked[0].first, page_);
    QVERIFY(asked[0].second);
    const QByteArray mht = Read(destination);
    QVERIFY2(mht.contains("multipart/related"), mht.left(200).constData());
    QVERIFY(mht.contains("Sales by Region"));

    destination = Path("saved.htm");
    s.browser.ExecWB(nimbo::kCmdSaveAs, 0);
    QVERIFY(!asked[1].second);
    const QByteArray html = Read(destination);
    QVERIFY(html.contains("Sales by Region"));
    QVERIFY(QDir(Path("saved_files")).exists());  // the picture beside it

    // Cancelled: nothing written, no error.
    s.browser.SetSavePathProvider([](const QString&, bool) { return std::nullopt; });
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdSaveAs, nimbo::kPromptUser); }), 0);
  }

  void printToPdfWritesAPdf() {
    Shown s;
    QVERIFY(Load(s.browser, page_));
    const QString pdf = Path("page.pdf");
    s.browser.SetPdfPrinter(pdf);
    s.browser.ExecWB(nimbo::kCmdPrint, nimbo::kPromptUser);
    QVERIFY(Read(pdf).startsWith("%PDF"));
  }

  void aCancelledPrintDialogIsNoError() {
    Shown s;
    QVERIFY(Load(s.browser, page_));
    QTimer closer;
    int closed = 0;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (QWidget* dialog = QApplication::activeModalWidget()) {
        if (auto* d = qobject_cast<QDialog*>(dialog)) {
          d->reject();
          ++closed;
        }
      }
    });
    closer.start(50);
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdPrint, nimbo::kPromptUser); }), 0);
    QCOMPARE(closed, 1);
  }

  // The dialog accepted: the view prints (here to a PDF file the dialog's printer is set to).
  void anAcceptedPrintDialogPrints() {
    Shown s;
    QVERIFY(Load(s.browser, page_));
    const QString pdf = Path("dialog.pdf");
    QTimer closer;
    int accepted = 0;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
        dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog->printer()->setOutputFileName(pdf);
        dialog->done(QDialog::Accepted);
        ++accepted;
      }
    });
    closer.start(50);
    s.browser.ExecWB(nimbo::kCmdPrint, nimbo::kPromptUser);
    QCOMPARE(accepted, 1);
    QVERIFY(Read(pdf).startsWith("%PDF"));
  }

  void errors() {
    Shown s;
    s.browser.SetSavePathProvider([&](const QString&, bool) { return Path("never.mht"); });
    s.browser.SetPdfPrinter(Path("never.pdf"));
    // Nothing shown.
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdSaveAs, 0); }), 5);
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdPrint, 0); }), 5);
    QVERIFY(Load(s.browser, "about:blank"));
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdSaveAs, 0); }), 5);
    QVERIFY(!QFile::exists(Path("never.mht")));

    QVERIFY(Load(s.browser, page_));
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(99, 0); }), 5);
    // A folder that is not there: the save fails.
    s.browser.SetSavePathProvider([&](const QString&, bool) { return Path("no/such/saved.mht"); });
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdSaveAs, 0); }), 75);
    s.browser.SetPdfPrinter(Path("no/such/page.pdf"));
    QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdPrint, 0); }), 75);
    // No printer, and not allowed to ask.
    if (QPrinterInfo::defaultPrinter().isNull()) {
      s.browser.SetPdfPrinter({});
      QCOMPARE(ErrorOf([&] { s.browser.ExecWB(nimbo::kCmdPrint, 0); }), 5);
    }
    try {
      s.browser.ExecWB(nimbo::kCmdSaveAs, 0);
      QFAIL("no error");
    } catch (const nimbo::Error& e) {
      QCOMPARE(QString(e.description()), QString("Path/File access error"));
      QVERIFY(!e.detail().empty());
    }
  }
};

NIMBO_QT_TEST_MAIN(WebBrowserTest)
#include "web_browser_test.moc"

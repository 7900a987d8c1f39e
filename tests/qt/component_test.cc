// The component on the demo database with every Qt adapter: the tree filled into the widget, a
// node the user clicks displayed in the web view, a record link handled by ProcessURL, and a
// whole mail through WireMailSocket and StartMail to the aiosmtpd sink (and to a silent server,
// which the deadline ends).
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEngineView>
#include <QtTest>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/container.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/qt/host.h"
#include "nimbo/qt/socket.h"
#include "nimbo/qt/tree_view.h"
#include "nimbo/qt/web_browser.h"
#include "qt_test_support.h"
#include "testing/mail_servers.h"

using NodePtr = std::shared_ptr<nimbo::Node>;

namespace {

constexpr int kWait = 120'000;

class Log : public nimbo::Events {
 public:
  void NimboMessage(const std::string& text) override { messages.push_back(text); }
  void LogIt(const std::string& type, const std::string& what) override {
    audit.push_back(type + ": " + what);
  }
  void OpenForm(const nimbo::Variant& form, const nimbo::Variant& id) override {
    forms.push_back(form.ToText() + "/" + id.ToText());
  }
  std::vector<std::string> messages;
  std::vector<std::string> audit;
  std::vector<std::string> forms;
};

// The demo written by the nimbo program, and the component on it with the Qt adapters.
struct Host {
  Host() {
    const std::string demo = (dir.path() + "/demo").toStdString();
    const std::string command = std::string(NIMBO_CLI_PATH) + " demo '" + demo + "' >/dev/null";
    if (std::system(command.c_str()) != 0) QTest::qFail("nimbo demo failed", __FILE__, __LINE__);
    const std::string form = (dir.path() + "/form.json").toStdString();
    std::ofstream(form) << R"({"ApplicationFolder": ")" << demo << R"(", "ConnectionString": ")"
                        << demo << R"(/demo.db", "ActivePort": 80})";
    auto bag = nimbo::JsonPropertyBag::Load(form);
    control.ReadProperties(bag);
    control.UserRole(1);
    control.SetControls(tree, browser);
    browser->SetUrlHandler(
        [this](const std::string& url) { return control.ProcessURL(nimbo::Variant(url)); });
  }

  // Mail from ann to bob through a server on this machine's `port`, on a wired Qt socket.
  std::shared_ptr<nimbo::qt::Socket> MailTo(int port, std::function<void()> closed) {
    control.CanMail(true);
    control.Server("127.0.0.1:" + std::to_string(port));
    control.FromID("ann@example.org");
    control.ToID("bob@example.org");
    auto socket = std::make_shared<nimbo::qt::Socket>();
    nimbo::qt::WireMailSocket(control, socket, {.closed = std::move(closed)});
    return socket;
  }

  QTemporaryDir dir;
  std::shared_ptr<Log> log = std::make_shared<Log>();
  nimbo::Nimbo control{std::make_shared<nimbo::qt::Container>(), log};
  QTreeWidget widget;
  QWebEngineView view;
  std::shared_ptr<nimbo::qt::TreeView> tree = std::make_shared<nimbo::qt::TreeView>(&widget);
  std::shared_ptr<nimbo::qt::WebBrowser> browser = std::make_shared<nimbo::qt::WebBrowser>(&view);
};

QStringList ChildTexts(const QTreeWidgetItem* item) {
  QStringList texts;
  for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
  return texts;
}

}  // namespace

class ComponentTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void refreshClickAndRecordLink() {
    Host host;
    host.widget.resize(300, 500);
    host.widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.widget));
    host.control.RefreshBrowser();
    QCOMPARE(host.widget.topLevelItemCount(), 1);
    QTreeWidgetItem* root = host.widget.topLevelItem(0);
    QCOMPARE(root->text(0), QString("Data Browser"));
    QCOMPARE(ChildTexts(root),
             (QStringList{"Customers", "Finance", "Products", "Sales by Region"}));
    QCOMPARE(host.widget.currentItem(), root);
    QTRY_VERIFY_WITH_TIMEOUT(!host.browser->busy(), kWait);
    QVERIFY(host.browser->LocationURL().ends_with("fp.htm"));

    // The user opens Customers, then its first customer.
    connect(host.tree.get(), &nimbo::qt::TreeView::nodeActivated, this,
            [&](const NodePtr& node) { host.control.DisplayFor(node); });
    root->setExpanded(true);
    QTreeWidgetItem* customers = root->child(0);
    QTest::mouseClick(host.widget.viewport(), Qt::LeftButton, {},
                      host.widget.visualItemRect(customers).center());
    QCOMPARE(host.tree->SelectedItem()->Text(), std::string("Customers"));
    QVERIFY(customers->childCount() > 0);
    QVERIFY(!host.log->audit.empty());
    QCOMPARE(host.log->audit.back(), std::string("View: Data Browser\\Customers"));
    customers->setExpanded(true);
    QTreeWidgetItem* customer = customers->child(0);
    QTest::mouseClick(host.widget.viewport(), Qt::LeftButton, {},
                      host.widget.visualItemRect(customer).center());
    QCOMPARE(host.tree->SelectedItem()->Text(), customer->text(0).toStdString());
    QTRY_VERIFY_WITH_TIMEOUT(!host.browser->busy(), kWait);
    QVERIFY(host.browser->lastLoadOk());
    QVERIFY(host.browser->LocationURL().ends_with("oDatNav.htm"));

    // The record's "Click to Open Entry Form" link goes to ProcessURL, and the view stays.
    const QUrl shown = host.view.url();
    host.view.page()->runJavaScript(
        "Array.from(document.querySelectorAll('a')).find(a => a.getAttribute('href')"
        ".startsWith('^')).click()");
    QTRY_COMPARE_WITH_TIMEOUT(host.log->forms.size(), std::size_t{1}, kWait);
    QVERIFY(host.log->audit.back().starts_with("Form: Form #:"));
    QTest::qWait(200);
    QCOMPARE(host.view.url(), shown);
  }

  void aMailReachesTheSink() {
    nimbo::testing::SmtpSink sink;
    Host host;
    host.control.RefreshBrowser();
    const NodePtr first = host.tree->SelectedItem()->Child();
    first->Selected(true);
    host.control.DisplayFor(first);  // the page that is mailed
    QTRY_VERIFY_WITH_TIMEOUT(!host.browser->busy(), kWait);
    host.control.CanMail(true);
    host.control.Server("127.0.0.1:" + std::to_string(sink.port()));
    host.control.FromName("Ann");
    host.control.FromID("ann@example.org");
    host.control.ToName("Bob");
    host.control.ToID("bob@example.org");
    host.control.Subject("Report");
    host.control.Message("See below.");
    auto socket = std::make_shared<nimbo::qt::Socket>();
    int connected = 0;
    int closed = 0;
    std::vector<int> failures;
    nimbo::qt::WireMailSocket(
        host.control, socket,
        {.connected = [&] { ++connected; },
         .closed = [&] { ++closed; },
         .failed = [&](const nimbo::Error& e) { failures.push_back(e.number()); }});
    nimbo::qt::StartMail(host.control, *socket, std::chrono::seconds(20));
    QCOMPARE(socket->state(), nimbo::qt::Socket::State::kConnecting);
    QTRY_COMPARE_WITH_TIMEOUT(closed, 1, kWait);
    QCOMPARE(host.log->messages, (std::vector<std::string>{"Message Sent Successfully."}));
    QCOMPARE(connected, 1);
    QVERIFY(failures.empty());
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(sink.Message(1)), kWait);
    const std::string message = nimbo::testing::ReadFile(sink.Message(1));
    QVERIFY(message.find("Subject:Report") != std::string::npos);
    QVERIFY(message.find("begin 664 oDatNav.htm") != std::string::npos);
  }

  void aSilentServerMeetsTheDeadline() {
    nimbo::testing::ScriptedServer server({});
    Host host;
    host.control.RefreshBrowser();
    int closed = 0;
    auto socket = host.MailTo(server.port(), [&] { ++closed; });
    nimbo::qt::StartMail(host.control, *socket, std::chrono::seconds(1));
    QTRY_COMPARE_WITH_TIMEOUT(closed, 1, kWait);
    QVERIFY(socket->timed_out());
    QCOMPARE(host.log->messages,
             (std::vector<std::string>{"Winsock Error #: 10060\r\nConnection timed out"}));
    server.Stop();
    QVERIFY(server.client_closed());
  }

  void aServerThatHangsUpIsReported() {
    nimbo::testing::ScriptedServer server(
        {nimbo::testing::Send("220 ready\r\n"), nimbo::testing::CloseConnection()});
    Host host;
    host.control.RefreshBrowser();
    int closed = 0;
    auto socket = host.MailTo(server.port(), [&] { ++closed; });
    nimbo::qt::StartMail(host.control, *socket, std::chrono::seconds(20));
    QTRY_COMPARE_WITH_TIMEOUT(closed, 1, kWait);
    QCOMPARE(host.log->messages.size(), std::size_t{1});
    QVERIFY2(host.log->messages[0] != "Message Sent Successfully.", host.log->messages[0].c_str());
  }
};

NIMBO_QT_TEST_MAIN(ComponentTest)
#include "component_test.moc"

// The window and the property dialog in-process, on the demo: a click that arrives while a page
// is being made waits for it, and the property page applies, saves and refuses as it should, its
// controls placed where the page puts them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "desk/desk_fixture.h"
#include "desk/main_window.h"
#include "desk/property_dialog.h"
#include "desk/wait.h"
#include "nimbo/container.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/property_page.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using nlohmann::json;
using testing::JsonLines;
using testing::ReadFile;
using testing::TempDir;

QApplication* app_instance = nullptr;

// The application ends with the test run, before the program's static objects go: the web
// engine's threads stop with it instead of running on while those are destroyed (which once in
// a while corrupted the heap at exit).
class AppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete app_instance;
    app_instance = nullptr;
  }
};
[[maybe_unused]] ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

QApplication& App() {
  testing::DeskEnvironment();
  static int argc = 1;
  static char name[] = "nimbo_desk_tests";
  static char* argv[] = {name, nullptr};
  if (!app_instance) app_instance = new QApplication(argc, argv);
  return *app_instance;
}

TEST(DeskWindowTest, AClickDuringADisplayWaitsForIt) {
  App();
  TempDir folder;
  app::desk::DeskOptions options;
  options.session.folder = folder.path().string();
  options.session.now = "2026-12-08T21:17:44";
  std::ostringstream out;
  app::desk::MainWindow window(options, out);
  window.show();
  window.Refresh();
  ASSERT_TRUE(
      app::desk::WaitUntil([&] { return !window.browser().busy(); }, std::chrono::seconds(120)));

  auto& tree = window.tree();
  const auto customers = window.session().ChildOfSelected("Customers");
  const auto products = window.session().ChildOfSelected("Products");
  ASSERT_TRUE(customers && products);
  // The user clicks Products while the page of Customers is being made.
  bool clicked = false;
  QObject::connect(&window.browser(), &qt::WebBrowser::navigated, &window, [&](const QString& url) {
    if (clicked || url != QStringLiteral("about:blank")) return;
    clicked = true;
    tree.widget()->setCurrentItem(tree.ItemFor(products));
  });
  out.str("");
  tree.widget()->setCurrentItem(tree.ItemFor(customers));
  ASSERT_TRUE(clicked);
  EXPECT_FALSE(window.displaying());

  // The two displays ran one after the other, each from Busy True to Busy False.
  std::vector<std::string> order;
  for (const json& line : JsonLines(out.str())) {
    if (line["event"] == "Busy") order.push_back(line["IsBusy"] ? "busy" : "done");
    if (line["event"] == "LogIt") order.push_back(line["ANarration"]);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"busy", "Data Browser\\Customers", "done", "busy",
                                             "Data Browser\\Products", "done"}));
  EXPECT_TRUE(products->Selected());
  EXPECT_EQ(tree.widget()->currentItem(), tree.ItemFor(products));
  EXPECT_EQ(window.browser().LocationURL(), (folder / "oDatNav.htm").string());
  EXPECT_NE(ReadFile(folder / "oDatNav.htm").find("Report:  Products"), std::string::npos);
}

// A record link the page follows opens its form in a window of its own while the component goes
// on, and the view stays on its page; a later link replaces the form.
TEST(DeskWindowTest, ARecordLinkShowsItsFormWithoutWaiting) {
  App();
  TempDir folder;
  app::desk::DeskOptions options;
  options.session.folder = folder.path().string();
  std::ostringstream out;
  app::desk::MainWindow window(options, out);
  window.show();
  window.Refresh();
  ASSERT_TRUE(
      app::desk::WaitUntil([&] { return !window.browser().busy(); }, std::chrono::seconds(120)));
  const QUrl front = window.view()->url();
  ASSERT_TRUE(front.isLocalFile());
  for (const char* id : {"0000000003", "0000000007"}) {
    // The shown page follows the link, as a click on it does.
    const int before = window.links_processed();
    window.view()->page()->runJavaScript(
        QStringLiteral("location.href = 'oDatNav.htm^00002%1';").arg(QLatin1String(id)));
    ASSERT_TRUE(app::desk::WaitUntil([&] { return window.links_processed() > before; },
                                     std::chrono::seconds(120)));
    app::desk::Pause(std::chrono::milliseconds(200));  // the replaced form closes
    EXPECT_EQ(window.view()->url(), front) << id;      // the link was not followed
    std::vector<QDialog*> shown;
    for (QDialog* dialog : window.findChildren<QDialog*>()) {
      if (dialog->isVisible()) shown.push_back(dialog);
    }
    ASSERT_EQ(shown.size(), 1u) << id;
    EXPECT_FALSE(shown[0]->isModal());
    EXPECT_EQ(shown[0]->findChild<QLabel*>(QStringLiteral("form"))->text(),
              QStringLiteral("00002"));
    EXPECT_EQ(shown[0]->findChild<QLabel*>(QStringLiteral("record"))->text().toStdString(), id);
  }
}

class PropertyDialogTest : public ::testing::Test {
 protected:
  PropertyDialogTest() {
    App();
    control_.InitProperties();
  }
  std::filesystem::path File() const { return dir_ / "form.json"; }

  TempDir dir_;
  Nimbo control_{std::make_shared<DesignTimeContainer>(), nullptr};
  JsonPropertyBag bag_;
};

TEST_F(PropertyDialogTest, PlacesThePageControlsInTabOrder) {
  app::desk::PropertyDialog dialog(control_, bag_, File().string(), nullptr);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Nimbo Properties"));
  const PropertyPage page;
  std::vector<PageControl> boxes;
  for (const PageControl& control : page.Controls()) {
    auto* widget = dialog.findChild<QWidget*>(QString::fromStdString(control.name));
    ASSERT_NE(widget, nullptr) << control.name;
    const int dpi_x = dialog.logicalDpiX();
    const int dpi_y = dialog.logicalDpiY();
    EXPECT_EQ(widget->geometry(),
              QRect(control.left * dpi_x / 1440, control.top * dpi_y / 1440,
                    control.width * dpi_x / 1440, control.height * dpi_y / 1440))
        << control.name;
    if (control.kind == PageControl::Kind::kLabel) {
      EXPECT_EQ(qobject_cast<QLabel*>(widget)->text().toStdString(), control.caption);
    } else {
      boxes.push_back(control);
    }
  }
  ASSERT_EQ(boxes.size(), 2u);
  std::sort(boxes.begin(), boxes.end(),
            [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
  auto* first = dialog.findChild<QWidget*>(QString::fromStdString(boxes[0].name));
  auto* second = dialog.findChild<QWidget*>(QString::fromStdString(boxes[1].name));
  // Tab goes from the first box to the second (labels take no focus).
  QWidget* next = first->nextInFocusChain();
  while (next != first && qobject_cast<QLineEdit*>(next) == nullptr)
    next = next->nextInFocusChain();
  EXPECT_EQ(next, second);
}

TEST_F(PropertyDialogTest, AppliesAndSavesOrShowsTheRefusal) {
  app::desk::PropertyDialog dialog(control_, bag_, File().string(), nullptr);
  auto* port = dialog.findChild<QLineEdit*>(QStringLiteral("txtActivePort"));
  auto* mode = dialog.findChild<QLineEdit*>(QStringLiteral("txtDAMode"));
  ASSERT_TRUE(port && mode);
  EXPECT_EQ(port->text(), QStringLiteral("0"));

  port->setText(QStringLiteral("80"));
  ASSERT_TRUE(dialog.Apply()) << dialog.ErrorText().toStdString();
  EXPECT_EQ(control_.ActivePort(), 80);
  EXPECT_EQ(json::parse(ReadFile(File())), (json{{"ActivePort", 80}}));

  // A value the property cannot take: the error is shown, nothing is saved, and the dialog
  // keeps the text so that the user can correct it.
  const std::string saved = ReadFile(File());
  port->setText(QStringLiteral("eighty"));
  EXPECT_FALSE(dialog.Apply());
  EXPECT_EQ(dialog.ErrorText(), QStringLiteral("Error: 13, Type mismatch"));
  EXPECT_EQ(port->text(), QStringLiteral("eighty"));
  EXPECT_EQ(ReadFile(File()), saved);
  EXPECT_EQ(control_.ActivePort(), 80);

  port->setText(QStringLiteral("81"));
  ASSERT_TRUE(dialog.Apply());
  EXPECT_TRUE(dialog.ErrorText().isEmpty());
  EXPECT_EQ(json::parse(ReadFile(File())), (json{{"ActivePort", 81}}));
}

}  // namespace
}  // namespace nimbo

// A Qt host: the tree on the left, the report page on the right, the component between them.
// Usage: qt_embed [FORM.json] [--quit-after-refresh]   (the form as for embed_minimal)
// --quit-after-refresh prints the nodes under the root and quits once the front page is shown.
#include <QApplication>
#include <QSplitter>
#include <QTreeWidget>
#include <QWebEngineView>
#include <iostream>
#include <memory>
#include <string>

#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/qt/host.h"
#include "nimbo/qt/tree_view.h"
#include "nimbo/qt/web_browser.h"

class Events : public nimbo::Events {
 public:
  void NimboMessage(const std::string& text) override { std::cout << "Message: " << text << "\n"; }
  void LogIt(const std::string& type, const std::string& what) override {
    std::cout << type << ": " << what << "\n";
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const bool smoke = args.contains("--quit-after-refresh");
  const bool named = args.size() > 1 && !args[1].startsWith("--");
  const std::string form = named ? args[1].toStdString() : "form.json";
  try {
    // The widgets outlive the adapters, which the component holds.
    QSplitter window;
    auto* tree_widget = new QTreeWidget(&window);
    auto* view = new QWebEngineView(&window);
    nimbo::Nimbo browser(std::make_shared<nimbo::qt::Container>(), std::make_shared<Events>());
    auto bag = nimbo::JsonPropertyBag::Load(form);
    browser.ReadProperties(bag);

    auto tree = std::make_shared<nimbo::qt::TreeView>(tree_widget);
    auto pages = std::make_shared<nimbo::qt::WebBrowser>(view);
    pages->SetUrlHandler(  // a record link opens its entry form
        [&](const std::string& url) { return browser.ProcessURL(nimbo::Variant(url)); });
    QObject::connect(tree.get(), &nimbo::qt::TreeView::nodeActivated,
                     [&](const std::shared_ptr<nimbo::Node>& node) {
                       try {
                         browser.DisplayFor(node);  // the user chose it: show its page
                       } catch (const nimbo::Error& e) {
                         std::cerr << "Error " << e.number() << ", " << e.description() << "\n";
                       }
                     });
    browser.SetControls(tree, pages);
    browser.RefreshBrowser();  // the tree under "Data Browser" and the front page

    if (smoke) {
      for (auto node = tree->SelectedItem()->Child(); node; node = node->Next()) {
        std::cout << "Node: " << node->Text() << "\n";
      }
      QObject::connect(pages.get(), &nimbo::qt::WebBrowser::loadFinished,
                       [&](bool ok) { app.exit(ok ? 0 : 1); });
      if (!pages->busy()) return pages->lastLoadOk() ? 0 : 1;
      return app.exec();
    }
    window.setSizes({260, 740});
    window.resize(1000, 700);
    window.show();
    return app.exec();
  } catch (const nimbo::Error& e) {
    std::cerr << "qt_embed: Error " << e.number() << ", " << e.description() << "\n";
    return 1;
  }
}

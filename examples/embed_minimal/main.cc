// The smallest host: loads a saved instance of the component, hands it an in-process tree view
// and browser, refreshes the browser and opens the first node under the root, printing every
// event it hears. Usage: embed_minimal [FORM.json]
//
// The form file is the saved instance, e.g.
//   {"ApplicationFolder": "/srv/shop", "ConnectionString": "/srv/shop/demo.db", "ActivePort": 80}
// where ActivePort 80 lets the component read the database.
#include <iostream>
#include <memory>
#include <string>

#include "nimbo/container.h"
#include "nimbo/error.h"
#include "nimbo/headless_browser.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"

// The host hears the component only through these events.
class Host : public nimbo::Events {
 public:
  void NimboMessage(const std::string& text) override { std::cout << "Message: " << text << "\n"; }
  void LogIt(const std::string& type, const std::string& what) override {
    std::cout << type << ": " << what << "\n";
  }
  void BlaBla(const std::string& text) override { std::cerr << "diagnostic: " << text << "\n"; }
};

int main(int argc, char** argv) {
  const std::string form = argc > 1 ? argv[1] : "form.json";
  try {
    auto host = std::make_shared<Host>();
    nimbo::Nimbo browser(std::make_shared<nimbo::RunTimeContainer>(), host);
    auto bag = nimbo::JsonPropertyBag::Load(form);  // the saved instance
    browser.ReadProperties(bag);
    browser.UserRole(2);
    browser.Heading("Acme Stores");
    browser.Talking(true);

    auto tree = std::make_shared<nimbo::MemoryTreeView>();
    auto pages = std::make_shared<nimbo::HeadlessBrowser>();
    pages->SetNavigateListener(
        [](const std::string& url) { std::cout << "Shown: " << url << "\n"; });
    browser.SetControls(tree, pages);

    browser.RefreshBrowser();  // the tree under "Data Browser" and the front page
    auto first = tree->SelectedItem()->Child();
    if (!first) {
      std::cerr << "embed_minimal: the browser definition has no node under the root\n";
      return 1;
    }
    first->Selected(true);  // as if the user clicked it
    browser.DisplayFor(first);
    return 0;
  } catch (const nimbo::Error& e) {
    std::cerr << "embed_minimal: Error " << e.number() << ", " << e.description() << "\n";
    return 1;
  }
}

// nimbo props FILE: the design-time host. It loads a saved instance from a property file, shows
// the property page's two boxes and, with --set, types into them, applies and saves.
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "command_errors.h"
#include "commands.h"
#include "nimbo/error.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/property_page.h"

namespace nimbo::app {
namespace {

struct PropsOptions {
  std::string file;
  std::vector<std::string> sets;
};

int RunProps(const PropsOptions& options) {
  // Which box each settable property is typed into.
  static const std::map<std::string, std::string> kBoxes = {{"ActivePort", "txtActivePort"},
                                                            {"DAMode", "txtDAMode"}};
  std::vector<std::pair<std::string, std::string>> edits;
  for (const std::string& set : options.sets) {
    const auto eq = set.find('=');
    const auto box = eq == std::string::npos ? kBoxes.end() : kBoxes.find(set.substr(0, eq));
    if (box == kBoxes.end()) {
      std::cerr << "nimbo props: --set takes ActivePort=TEXT or DAMode=TEXT, not '" << set
                << "'\n";
      return kExitUsage;
    }
    edits.emplace_back(box->second, set.substr(eq + 1));
  }

  try {
    auto container = std::make_shared<DesignTimeContainer>();
    Nimbo control(container, nullptr);
    JsonPropertyBag bag;
    // Only a file that is not there at all is a new instance; anything else there is loaded,
    // and refused with a reason when it is no property file.
    std::error_code ec;
    if (std::filesystem::symlink_status(options.file, ec).type() !=
        std::filesystem::file_type::not_found) {
      bag = JsonPropertyBag::Load(options.file);
      control.ReadProperties(bag);
    } else {
      control.InitProperties();
    }

    PropertyPage page;
    page.SelectedControls({&control});
    page.SelectionChanged();
    if (!edits.empty()) {
      for (const auto& [box, text] : edits) page.Text(box, text);
      page.ApplyChanges();
      control.WriteProperties(bag);
      bag.Save(options.file);
      page.SelectionChanged();
    }
    std::cout << "ActivePort: " << page.Text("txtActivePort") << "\n"
              << "DAMode: " << page.Text("txtDAMode") << "\n";
    return kExitOk;
  } catch (const Error& e) {
    PrintError(std::cerr, "", "nimbo props: ", e);
    return kExitFailure;
  } catch (const std::exception& e) {
    std::cerr << "nimbo props: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace

void AddPropsCommand(CLI::App& app, std::function<int()>& run) {
  auto options = std::make_shared<PropsOptions>();
  CLI::App* cmd = app.add_subcommand(
      "props", "Design-time property page over a saved property file (JSON)");
  cmd->add_option("FILE", options->file, "Property file; a missing one is a new instance")
      ->required();
  cmd->add_option("--set", options->sets,
                  "Type TEXT into a box and apply: ActivePort=TEXT or DAMode=TEXT")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->callback([&run, options] { run = [options] { return RunProps(*options); }; });
}

}  // namespace nimbo::app

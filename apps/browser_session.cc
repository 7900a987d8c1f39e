// The browsing session shared by the render, mail and serve subcommands.
#include "browser_session.h"

#include <cctype>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "commands.h"
#include "demo/demo.h"
#include "nimbo/clock.h"
#include "nimbo/date.h"
#include "nimbo/error.h"

namespace nimbo::app {

using json = nlohmann::ordered_json;

namespace {
constexpr char kMailSent[] = "Message Sent Successfully.";
}  // namespace

// Prints each event as a JSON line as it is raised, and keeps count of the failures the
// component reports. The component always talks to it, so that a failure it reports only as a
// diagnostic (a page that cannot be written) still counts; diagnostics are printed only when
// the user asked for them.
class BrowserSession::Printer : public Events {
 public:
  Printer(std::ostream& out, bool print_diagnostics)
      : out_(out), print_diagnostics_(print_diagnostics) {}
  // Hears each message after it has been printed.
  std::function<void(const std::string&)> message_listener;
  // Hears every event after it has been printed (a host showing them in its window).
  std::shared_ptr<Events> host_events;
  int failures = 0;

  void Busy(bool IsBusy) override {
    Emit({{"event", "Busy"}, {"IsBusy", IsBusy}});
    if (host_events) host_events->Busy(IsBusy);
  }
  void OpenForm(const Variant& nFrm, const Variant& nID) override {
    Emit({{"event", "OpenForm"}, {"nFrm", Text(nFrm)}, {"nID", Text(nID)}});
    if (host_events) host_events->OpenForm(nFrm, nID);
  }
  void NimboMessage(const std::string& sMessage) override {
    // Every message but the mail's success tells of a failure: a connection or read error, a
    // page command that failed, a mail refused or not delivered.
    if (sMessage != kMailSent) ++failures;
    Emit({{"event", "NimboMessage"}, {"sMessage", sMessage}});
    if (message_listener) message_listener(sMessage);
    if (host_events) host_events->NimboMessage(sMessage);
  }
  void LogIt(const std::string& AType, const std::string& ANarration) override {
    Emit({{"event", "LogIt"}, {"AType", AType}, {"ANarration", ANarration}});
    if (host_events) host_events->LogIt(AType, ANarration);
  }
  void BlaBla(const std::string& sBlaBla) override {
    // An operation that stopped on a run-time error says "Error: N, description".
    if (sBlaBla.rfind("Error: ", 0) == 0) ++failures;
    if (!print_diagnostics_) return;
    Emit({{"event", "BlaBla"}, {"sBlaBla", sBlaBla}});
    if (host_events) host_events->BlaBla(sBlaBla);
  }

 private:
  static std::string Text(const Variant& value) {
    return value.IsNull() ? std::string() : value.ToText();
  }
  void Emit(const json& line) { EmitJson(out_, line); }
  std::ostream& out_;
  bool print_diagnostics_;
};

// Design time while the session sets ActivePort, run time afterwards.
class BrowserSession::SwitchableContainer : public Container {
 public:
  bool UserMode() const override { return user_mode; }
  void PropertyChanged(std::string_view) override {}
  void DoEvents() override {
    if (do_events) do_events();
  }
  bool user_mode = false;
  std::function<void()> do_events;
};

bool IsPostgresUri(std::string_view text) {
  auto starts = [text](std::string_view scheme) {
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
    }
    return true;
  };
  return starts("postgresql://") || starts("postgres://");
}

void AddSessionOptions(CLI::App& command, SessionOptions& options) {
  command.add_option("--db", options.db,
                     "Database: a SQLite file or a postgresql:// URI (default: the demo database)");
  command.add_option("--folder", options.folder,
                     "Application folder for pages and images (default: the database's folder)");
  command.add_option("--role", options.role, "UserRole of the user");
  command.add_option("--heading", options.heading, "Report heading");
  command.add_option("--date-format", options.date_format, "Pattern for date values");
  command.add_flag("--display-path", options.display_path, "End pages with the node's path");
  command.add_flag("--talking", options.talking, "Raise diagnostics (BlaBla)");
  command.add_option("--active-port", options.active_port, "ActivePort (80 enables reading)");
  command.add_option("--now", options.now, "Fixed current time, YYYY-MM-DDTHH:MM:SS");
  command
      .add_option("--command-timeout", options.command_timeout,
                  "Seconds one read of the database may run, 0 for no limit (default 30)")
      ->check(CLI::NonNegativeNumber);
  command
      .add_option("--recordset-memory-limit", options.recordset_memory_limit,
                  "MiB the records of one read may take, 0 for no limit (default 1024)")
      ->check(CLI::NonNegativeNumber);
}

void AddPageCommandOptions(CLI::App& command, SessionOptions& options) {
  command.add_option("--save-to", options.save_to, "Save the shown page to this file at the end");
  command.add_option("--print-to", options.print_to,
                     "Print the shown page at the end, to a printer that writes this file");
  command.add_flag("--print", options.print,
                   "Print the shown page at the end (without --print-to there is no printer)");
}

void AddWalkOptions(CLI::App& command, WalkOptions& options) {
  command.add_option("--select", options.selections,
                     "Select the child with this text and display it (repeatable, in order)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--url", options.url, "Pass an address to link processing afterwards")
      ->each([&options](const std::string&) { options.has_url = true; });
  command.add_flag("--tree", options.tree, "Print the whole tree as JSON after the walk");
}

void EmitJson(std::ostream& out, const json& line) {
  out << line.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
  out.flush();
}

namespace {

json NodeJson(const Node& node) {
  json children = json::array();
  for (auto child = node.Child(); child; child = child->Next()) {
    children.push_back(NodeJson(*child));
  }
  return {{"text", node.Text()},         {"key", node.Key()},
          {"tag", node.Tag()},           {"image", node.Image()},
          {"expanded", node.Expanded()}, {"selected", node.Selected()},
          {"children", std::move(children)}};
}

}  // namespace

json TreeJson(const MemoryTreeView& tree) {
  json nodes = json::array();
  for (const auto& root : tree.Roots()) nodes.push_back(NodeJson(*root));
  return nodes;
}

BrowserSession::BrowserSession(const SessionOptions& options, std::ostream& out) : out_(out) {
  namespace fs = std::filesystem;
  tree_ = std::make_shared<MemoryTreeView>();
  browser_ = std::make_shared<HeadlessBrowser>();
  browser_->SetNavigateListener(
      [this](const std::string& url) { EmitJson(out_, {{"event", "Navigate"}, {"url", url}}); });
  host_.tree = tree_;
  host_.browser = browser_;
  host_.model = [this]() -> const MemoryTreeView& { return *tree_; };
  host_.shown = [this] { return browser_->LocationURL(); };
  Start(options);

  save_ = !options.save_to.empty();
  print_ = options.print || !options.print_to.empty();
  if (save_) {
    browser_->SetSavePathProvider([target = fs::path(options.save_to)](const fs::path&, int) {
      return std::optional<fs::path>(target);
    });
  }
  if (!options.print_to.empty()) {
    browser_->SetPrinter([target = fs::path(options.print_to)](const fs::path& file, int) {
      std::error_code error;
      fs::copy_file(file, target, fs::copy_options::overwrite_existing, error);
      if (error) {
        throw Error::WithDetail(err::kPathFileAccess, "The printer cannot write " +
                                                          target.string() + ": " + error.message());
      }
    });
  }
}

BrowserSession::BrowserSession(const SessionOptions& options, std::ostream& out, HostControls host)
    : out_(out), host_(std::move(host)) {
  if (!host_.tree || !host_.browser || !host_.model || !host_.shown) {
    throw std::invalid_argument("BrowserSession: the host's controls are incomplete");
  }
  Start(options);
}

void BrowserSession::Start(const SessionOptions& options) {
  namespace fs = std::filesystem;
  if (options.db.empty()) {
    folder_ = options.folder.empty() ? std::string("nimbo-demo") : options.folder;
    database_ = EnsureDemo(folder_);
  } else if (IsPostgresUri(options.db)) {
    // A server database has no folder of its own to hold the pages and the page images.
    if (options.folder.empty()) {
      throw std::runtime_error(
          "a PostgreSQL database needs --folder DIR, the folder for the pages and the page "
          "images (nimbo demo --db URI DIR writes them)");
    }
    database_ = options.db;
    folder_ = options.folder;
  } else {
    database_ = options.db;
    if (!fs::is_regular_file(database_)) {
      throw std::runtime_error("no database file at " + database_);
    }
    folder_ = options.folder.empty() ? fs::absolute(database_).parent_path().string()
                                     : options.folder;
  }
  if (!fs::is_directory(folder_)) throw std::runtime_error("no folder at " + folder_);
  folder_ = fs::absolute(folder_).lexically_normal().string();
  if (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();

  container_ = std::make_shared<SwitchableContainer>();
  container_->do_events = host_.do_events;
  printer_ = std::make_shared<Printer>(out_, options.talking);
  printer_->host_events = host_.events;
  control_ = std::make_unique<Nimbo>(container_, printer_);

  control_->InitProperties();
  // The two numbers are 16-bit properties; a value the property refuses names its option.
  const auto set_number = [](const char* option, int value, const auto& set) {
    try {
      set(value);
    } catch (const Error& e) {
      throw std::runtime_error(std::string(option) + " " + std::to_string(value) + ": Error: " +
                               std::to_string(e.number()) + ", " + e.description());
    }
  };
  // A design-time setting, made before the run.
  set_number("--active-port", options.active_port,
             [this](int value) { control_->ActivePort(value); });
  container_->user_mode = true;
  control_->ApplicationFolder(folder_);
  control_->ConnectionString(database_);
  set_number("--role", options.role, [this](int value) { control_->UserRole(value); });
  control_->Heading(options.heading);
  control_->DateFormat(options.date_format);
  control_->DisplayPath(options.display_path);
  control_->Talking(true);  // the printer shows diagnostics only when asked to
  if (options.command_timeout) control_->CommandTimeout(*options.command_timeout);
  if (options.recordset_memory_limit) {
    control_->RecordsetMemoryLimit(*options.recordset_memory_limit);
  }
  if (!options.now.empty()) {
    const auto now = ParseDate(options.now);
    if (!now) throw std::runtime_error("--now takes YYYY-MM-DDTHH:MM:SS, not " + options.now);
    control_->SetClock(FixedClock(*now));
  }
  control_->SetControls(host_.tree, host_.browser);
}

const MemoryTreeView& BrowserSession::model() const { return host_.model(); }

void BrowserSession::RunPageCommands() {
  if (save_) control_->SavePage();
  if (print_) control_->PrintPage();
}

void BrowserSession::SetMessageListener(std::function<void(const std::string&)> listener) {
  printer_->message_listener = std::move(listener);
}

BrowserSession::~BrowserSession() = default;

std::shared_ptr<Node> BrowserSession::ChildOfSelected(const std::string& text) const {
  const auto selected = model().SelectedOrNull();
  if (!selected) return nullptr;
  for (auto child = selected->Child(); child; child = child->Next()) {
    if (child->Text() == text) return child;
  }
  return nullptr;
}

void BrowserSession::Display(const std::shared_ptr<Node>& node) {
  control_->DisplayFor(node);
  // A display ends with its page shown, or (refused, or a failure) with the blank page.
  if (host_.shown() != folder_ + "/oDatNav.htm") ++pageless_displays_;
}

bool BrowserSession::Select(const std::string& text) {
  const auto child = ChildOfSelected(text);
  if (!child) return false;
  child->Selected(true);
  Display(child);
  return true;
}

void BrowserSession::Refresh() {
  control_->RefreshBrowser();
  if (host_.shown() != folder_ + "/fp.htm") ++pageless_displays_;
}

bool BrowserSession::ProcessUrl(const std::string& url) {
  const bool result = control_->ProcessURL(url);
  EmitJson(out_, {{"event", "ProcessURL"}, {"url", url}, {"result", result}});
  return result;
}

void BrowserSession::PrintTree() {
  EmitJson(out_, {{"event", "Tree"}, {"nodes", TreeJson(model())}});
}

int BrowserSession::failures() const { return printer_->failures; }

int BrowserSession::WalkStatus() const {
  if (failures() > 0) return kExitFailure;
  if (pageless_displays_ > 0) return kExitShowedNoPage;
  return kExitOk;
}

bool BrowserSession::RefreshAndWalk(const WalkOptions& walk, const std::string& command) {
  Refresh();
  for (const std::string& text : walk.selections) {
    if (!Select(text)) {
      std::cerr << "nimbo " << command << ": the selected node has no child \"" << text << "\"\n";
      return false;
    }
  }
  if (walk.has_url) ProcessUrl(walk.url);
  RunPageCommands();
  if (walk.tree) PrintTree();
  return true;
}

}  // namespace nimbo::app

// A browsing session of the hosts: the component on the in-process tree view and headless
// browser (the command-line and web hosts) or on controls the host brings (the desktop host),
// with every event printed as one JSON line.
#ifndef NIMBO_APPS_BROWSER_SESSION_H_
#define NIMBO_APPS_BROWSER_SESSION_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"

namespace nimbo::app {

// The options every browsing subcommand takes.
struct SessionOptions {
  std::string db;      // the database file or a postgresql:// URI; empty: the demo
  std::string folder;  // the application folder; empty: the database's folder (or ./nimbo-demo)
  int role = 0;
  std::string heading;
  std::string date_format;
  bool display_path = false;
  bool talking = false;
  int active_port = 80;
  std::string now;  // YYYY-MM-DDTHH:MM:SS; empty: the system clock
  std::optional<int> command_timeout;         // seconds one read may run; none: the default
  std::optional<int> recordset_memory_limit;  // MiB one read's records may take; none: default
  std::string save_to;   // where "Save As" puts the shown page; empty: no saving
  std::string print_to;  // the printer: a file the shown page is copied to; empty: no printer
  bool print = false;    // print the shown page (fails without a printer)
};

// True for a postgresql:// or postgres:// URI (scheme in any letter case): a server database
// rather than a file.
bool IsPostgresUri(std::string_view text);

// Adds the shared options to a subcommand.
void AddSessionOptions(CLI::App& command, SessionOptions& options);

// Adds --save-to, --print-to and --print: the page commands a one-shot walk (render, mail) runs at
// its end. An interactive host has its own save and print.
void AddPageCommandOptions(CLI::App& command, SessionOptions& options);

// The walk that render and mail make after the refresh: selections by node text, an address for
// link processing, and the tree dump.
struct WalkOptions {
  std::vector<std::string> selections;
  std::string url;
  bool has_url = false;
  bool tree = false;
};

// Adds --select, --url and --tree to a subcommand.
void AddWalkOptions(CLI::App& command, WalkOptions& options);

// Writes one event as a JSON line (invalid UTF-8 in texts is replaced, never fatal).
void EmitJson(std::ostream& out, const nlohmann::ordered_json& line);

// The whole tree in display order, as DESIGN's "Tree" event carries it.
nlohmann::ordered_json TreeJson(const MemoryTreeView& tree);

// The controls of a host that brings its own (a window's tree and browser) instead of the
// in-process ones. The host prints its browser's navigations itself and sets up its own save
// and print.
struct HostControls {
  std::shared_ptr<TreeView> tree;
  std::shared_ptr<WebBrowser> browser;
  // The node collection behind `tree`, for the tree dump and the walk by node texts.
  std::function<const MemoryTreeView&()> model;
  // The address the browser was last told to show, as the component gave it.
  std::function<std::string()> shown;
  // Lets the host process its pending events while the component works (Container::DoEvents).
  std::function<void()> do_events;
  // Hears every event after it has been printed (diagnostics only when they are printed).
  std::shared_ptr<Events> events;
};

class BrowserSession {
 public:
  // Prepares the database (building the demo when none is named), the folder, the component at
  // design time (ActivePort) and then at run time with the other options. Throws
  // std::runtime_error with a message for the user when an option is unusable.
  BrowserSession(const SessionOptions& options, std::ostream& out);
  // The same on the host's own controls; the page command options (save_to, print_to, print)
  // are the host's to carry out.
  BrowserSession(const SessionOptions& options, std::ostream& out, HostControls host);
  ~BrowserSession();

  Nimbo& control() { return *control_; }
  // The in-process controls; only for a session made without HostControls.
  MemoryTreeView& tree() { return *tree_; }
  HeadlessBrowser& browser() { return *browser_; }
  // The node collection, whichever controls the session runs on.
  const MemoryTreeView& model() const;
  const std::string& folder() const { return folder_; }
  const std::string& database() const { return database_; }

  // Selects the child of the selected node whose text is `text` and displays it. False when
  // the selected node has no such child.
  bool Select(const std::string& text);
  // The child of the selected node whose text is `text`, or null when there is none.
  std::shared_ptr<Node> ChildOfSelected(const std::string& text) const;
  // Displays a node and notes whether its page was shown (see WalkStatus).
  void Display(const std::shared_ptr<Node>& node);
  // Refreshes the browser and notes whether the front page was shown.
  void Refresh();
  // Passes an address to link processing and prints it as a ProcessURL line; returns the
  // component's answer (true: a record link, not to be followed).
  bool ProcessUrl(const std::string& url);
  // Prints the whole tree as a Tree line.
  void PrintTree();

  // Refreshes the browser, then makes the walk: each selection in order, the address (printed
  // as a ProcessURL line), the page commands and the tree dump. False, with a message on stderr
  // naming `command`, when a selection matches no node.
  bool RefreshAndWalk(const WalkOptions& walk, const std::string& command);

  // Saves and prints the shown page as the options ask (SavePage, PrintPage).
  void RunPageCommands();

  // Hears every NimboMessage after it has been printed.
  void SetMessageListener(std::function<void(const std::string&)> listener);

  // What the walk came to, as an exit status (commands.h): kExitOk when the front page and
  // every selected node's page were shown and nothing failed; kExitFailure when the component
  // reported a failure (a connection or read error, a page or file it could not write, a page
  // command that failed), whether or not diagnostics are printed; kExitShowedNoPage when,
  // without any failure, a display showed no page (the user's role may not open the node).
  int WalkStatus() const;
  // How many failures the component has reported so far.
  int failures() const;

 private:
  class Printer;
  class SwitchableContainer;

  // What both constructors do once the controls are there.
  void Start(const SessionOptions& options);

  std::ostream& out_;
  std::string folder_;
  std::string database_;
  std::shared_ptr<SwitchableContainer> container_;
  std::shared_ptr<Printer> printer_;
  std::shared_ptr<MemoryTreeView> tree_;
  std::shared_ptr<HeadlessBrowser> browser_;
  HostControls host_;
  std::unique_ptr<Nimbo> control_;
  bool save_ = false;
  bool print_ = false;
  int pageless_displays_ = 0;
};

}  // namespace nimbo::app

#endif  // NIMBO_APPS_BROWSER_SESSION_H_

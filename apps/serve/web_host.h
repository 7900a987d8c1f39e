// The component side of the web host: one browsing session (the component on the in-process
// tree view and headless browser) and the design-time property page, driven from one thread
// that the host owns. HTTP handlers never touch the component: they hand work to that thread
// with Call() and wait for the answer, so every call into the component, and every event it
// raises, happens on the component thread, one at a time, in the order the work arrived.
#ifndef NIMBO_APPS_SERVE_WEB_HOST_H_
#define NIMBO_APPS_SERVE_WEB_HOST_H_

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "browser_session.h"
#include "nimbo/error.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/property_page.h"
#include "nimbo/tcp_socket.h"

namespace nimbo::app::serve {

using json = nlohmann::ordered_json;

// Everything `nimbo serve` is told on its command line.
struct ServeOptions {
  SessionOptions session;    // --db, --folder, --role, --talking, ...
  int port = 8080;           // 0 picks a free port
  bool can_mail = false;     // the user may mail pages
  std::string smtp;          // mail server, HOST[:PORT]
  std::string from;          // sender address
  std::string from_name;     // sender name
  std::string form;          // property file the design page saves; empty: not saved
  double mail_timeout = 60;  // seconds a mail conversation may last before the host ends it
};

// What a database holds of the browser definition the component reads at refresh: the catalog
// table nimbo_procedures and in it the procedures xspb1 (navigation rows), xspb2 (section rows)
// and xspb3 (front page and page head).
struct DefinitionCheck {
  std::string unreadable;            // why the database cannot be read at all; "" when it can
  std::vector<std::string> missing;  // what the definition lacks, one line each, for the user
};
// Looks into a SQLite database file, read-only. A PostgreSQL URI is not looked into (nothing
// found missing): its host reports what the component says.
DefinitionCheck CheckDefinition(const std::string& database);

class WebHost {
 public:
  // Starts the component thread and sets the session up on it. Throws std::runtime_error
  // with a message for the user when an option is unusable.
  explicit WebHost(const ServeOptions& options);
  // Stops the component thread after the work already handed to it.
  ~WebHost();
  WebHost(const WebHost&) = delete;
  WebHost& operator=(const WebHost&) = delete;

  // Runs `work` on the component thread and returns its result (or rethrows its exception).
  template <typename Work>
  auto Call(Work&& work) -> std::invoke_result_t<Work> {
    using Result = std::invoke_result_t<Work>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<Work>(work));
    auto result = task->get_future();
    asio::post(io_, [task] { (*task)(); });
    return result.get();
  }

  // The component thread's context, for host objects that deliver notifications on it.
  asio::io_context& context() { return io_; }

  // --- Browsing. Each runs on the component thread and answers with the state afterwards, as
  // JSON text (see State()). ---
  std::string Refresh();
  // Selects the node with the 1-based index, which the client knew by `text`, and displays it.
  // Nothing: the tree has changed under the client (it should reload the state).
  std::optional<std::string> Display(int index, const std::string& text, std::int64_t since = -1);
  // Expands or collapses a node in the tree the user sees (the host's own business).
  std::optional<std::string> Expand(int index, const std::string& text, bool expanded,
                                    std::int64_t since = -1);
  // Passes a link's address to the component. Answers {"handled": bool} and, when the component
  // raised OpenForm, {"form": {"nFrm", "nID", "fields": [[name, value], ...]}}.
  json ProcessUrl(const std::string& url);
  // Saves or prints the shown page through the component. The host's "dialog" is the real
  // browser's: the answer carries {"action": {"kind": "save", "url"}} (download that address)
  // or {"action": {"kind": "print"}} (print the report pane) when the component asked for it.
  json Save();
  json Print();
  // Sets the recipient, subject and message and starts mailing the shown page through the
  // socket to --smtp; the outcome arrives later as a NimboMessage. Answers {"sending": bool}
  // (whether a conversation started), or {"error"} when the component raised an error.
  json Mail(const std::string& to, const std::string& subject, const std::string& message);

  // The tree, the shown page and the host's settings, as JSON text: {"tree": rows, "enabled",
  // "page", "talking", "canMail", "seq"}, each row [index, depth, text, image, expanded,
  // selected, children, colour] in display order. Written directly rather than through a JSON
  // document, because a tree of 100,000 nodes is sent after every change.
  std::string State(std::int64_t since = -1);

  // --- The design-time property page. ---
  // The page model (caption, controls at their twips positions) and the boxes' texts.
  json DesignPage();
  // Types the texts into the boxes and applies the page; on success saves the property file.
  // Answers the page as DesignPage() does plus "error" (a conversion error, "Error: N, text")
  // or "saved" (the file written).
  json ApplyDesign(const std::string& active_port, const std::string& da_mode);

  // --- Events, for the clients' notices and panels. ---
  // Every event raised after sequence number `after`, waiting up to `wait_ms` for one to come.
  // Answers {"seq": latest, "events": [{"seq": n, "event": ...}, ...]}.
  json EventsAfter(std::int64_t after, int wait_ms);
  // Wakes every waiting EventsAfter so that the HTTP server can stop.
  void StopWaiting();
  // Called on the component thread after each event is logged, so that a server waiting for
  // events without a thread learns of them; callable from any thread, replaces what was set.
  void SetEventListener(std::function<void()> listener);

  // The application folder, absolute, without a trailing separator.
  const std::string& folder() const { return folder_; }
  // The database: the file (the demo's when none was named) or the URI.
  const std::string& database() const { return database_; }

  // The host's own page for the report pane when the database has no browser definition: what
  // it lacks, every value escaped. Empty when nothing is missing.
  std::string DefinitionPage();

 private:
  class LineSink;

  void OnEventLine(const std::string& line);
  // The state; the tree as the change from version `since` when the caller has that one (or
  // the one before it), otherwise whole.
  std::string StateOnThread(std::int64_t since = -1);
  // Writes each row's text into `rows`, the rows joined by commas, and where each ends.
  void MakeTreeRows(std::string& rows, std::vector<std::size_t>& row_ends) const;
  // The change from the previous rows to the new ones as a list of splices, in JSON.
  std::string TreeSplices(const std::string& rows, const std::vector<std::size_t>& row_ends) const;
  std::shared_ptr<Node> NodeAt(int index, const std::string& text) const;
  json DesignOnThread() const;
  json DemoRecord(const std::string& form, const std::string& id) const;
  json PageCommand(void (Nimbo::*command)());
  void HostMessage(const std::string& text);
  // A diagnostic of the host's own (an error's detail) in the activity panel, with --talking.
  void HostDiagnostic(const std::string& text);
  // An error the component raised to the host: its "Error: N, description" as a message and its
  // detail as a diagnostic.
  void HostError(const Error& error);

  ServeOptions options_;
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::thread thread_;

  // Component-thread state.
  std::unique_ptr<LineSink> sink_;
  std::unique_ptr<std::ostream> event_stream_;
  std::unique_ptr<BrowserSession> session_;
  std::string folder_;
  std::string database_;
  // The tree as last sent: its rows, where each ends, its version, and the splices that made it
  // from the version before.
  std::string tree_rows_;
  std::vector<std::size_t> tree_row_ends_;
  // Versions start from the clock, so that a client of a server that restarted never takes the
  // new server's changes for ones to its own tree.
  std::int64_t tree_version_ = 0;
  bool tree_started_ = false;
  // The nodes this host has displayed: a folder, list or recursive node that has been and has
  // no children is empty; one that has not may yet have some, and is drawn with an expander.
  std::unordered_map<const Node*, std::weak_ptr<Node>> opened_;
  std::string tree_splices_;
  std::string page_;  // the shown page's address in the host ("" for none)
  std::int64_t page_version_ = 0;
  std::optional<json> open_form_;  // OpenForm raised by the current ProcessUrl call
  std::optional<json> action_;     // what the browser is to do for the current page command
  std::shared_ptr<TcpSocket> socket_;
  std::shared_ptr<DesignTimeContainer> design_container_;
  std::unique_ptr<Nimbo> design_control_;
  JsonPropertyBag design_bag_;
  PropertyPage design_page_;

  // The event log, shared with the HTTP side.
  std::mutex events_mutex_;
  std::condition_variable events_changed_;
  std::deque<json> events_;
  std::int64_t last_seq_ = 0;
  bool stopping_ = false;
  std::function<void()> event_listener_;
};

}  // namespace nimbo::app::serve

#endif  // NIMBO_APPS_SERVE_WEB_HOST_H_

// The web host's component thread: the browsing session, the design page and the event log.
#include "serve/web_host.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string_view>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/mail_wiring.h"

namespace nimbo::app::serve {

namespace {

// An error as the component's messages show it: "Error: N, description".
std::string ErrorText(const Error& e) {
  return fmt::format("Error: {}, {}", e.number(), e.description());
}

// How many events the log keeps for clients that catch up.
constexpr std::size_t kMaxLoggedEvents = 500;

// The demo's entry forms: which table a record link's form number opens.
struct DemoForm {
  int number;
  const char* title;
  const char* table;
};
constexpr DemoForm kDemoForms[] = {
    {1, "Customer", "customers"}, {2, "Product", "products"}, {3, "Shop", "shops"}};

// "#RRGGBB" for a 0x00BBGGRR colour.
std::string CssColour(std::int32_t bgr) {
  const auto v = static_cast<std::uint32_t>(bgr);
  return fmt::format("#{:02x}{:02x}{:02x}", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

// Appends a text as a JSON string; invalid UTF-8 is replaced rather than fatal.
void AppendJsonString(const std::string& text, std::string& out) {
  bool plain = true;
  for (unsigned char c : text) {
    if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) {
      plain = false;
      break;
    }
  }
  if (plain) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  out += json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

// Percent-encodes everything but unreserved characters, so a file name is one path segment.
std::string EncodeSegment(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += fmt::format("%{:02X}", c);
    }
  }
  return out;
}

// The digits of a text as a number; nothing when it holds anything else.
std::optional<long long> ParseDigits(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A text for HTML: text and attribute values alike.
std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The procedures of the browser definition, and what each gives the component.
constexpr std::pair<const char*, const char*> kDefinitionProcedures[] = {
    {"xspb1", "the navigation rows (the tree)"},
    {"xspb2", "the section rows (the report pages)"},
    {"xspb3", "the front page and the page head"}};

}  // namespace

DefinitionCheck CheckDefinition(const std::string& database) {
  DefinitionCheck check;
  if (IsPostgresUri(database)) return check;
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  // Reading the schema is what tells a file that is no database (or a damaged one) at once.
  if (opened != SQLITE_OK || sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr,
                                          nullptr, nullptr) != SQLITE_OK) {
    check.unreadable = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return check;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT body FROM nimbo_procedures WHERE name = ?1", -1, &stmt,
                         nullptr) != SQLITE_OK) {
    check.missing.push_back(
        "the table nimbo_procedures, which holds the definition's procedures (xspb1, xspb2, "
        "xspb3): " +
        std::string(sqlite3_errmsg(db)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return check;
  }
  for (const auto& [name, gives] : kDefinitionProcedures) {
    sqlite3_reset(stmt);
    sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
    if (sqlite3_step(stmt) != SQLITE_ROW) {
      check.missing.push_back(
          fmt::format("the procedure {} in nimbo_procedures, for {}", name, gives));
      continue;
    }
    const auto* body = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    // A body whose tables or columns are missing does not even prepare: the database says why.
    sqlite3_stmt* query = nullptr;
    if (body && sqlite3_prepare_v2(db, body, -1, &query, nullptr) != SQLITE_OK) {
      check.missing.push_back(
          fmt::format("what the procedure {} reads, for {}: {}", name, gives, sqlite3_errmsg(db)));
    }
    sqlite3_finalize(query);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return check;
}

// Hands every complete line written to it to a function: the session writes each event as
// one JSON line.
class WebHost::LineSink : public std::streambuf {
 public:
  explicit LineSink(std::function<void(const std::string&)> on_line)
      : on_line_(std::move(on_line)) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (ch == '\n') {
      std::string line;
      line.swap(line_);
      on_line_(line);
    } else {
      line_ += ch;
    }
    return c;
  }

 private:
  std::function<void(const std::string&)> on_line_;
  std::string line_;
};

WebHost::WebHost(const ServeOptions& options)
    : options_(options), work_(asio::make_work_guard(io_)) {
  thread_ = std::thread([this] { io_.run(); });
  try {
    Call([this] {
      sink_ = std::make_unique<LineSink>([this](const std::string& line) { OnEventLine(line); });
      event_stream_ = std::make_unique<std::ostream>(sink_.get());
      session_ = std::make_unique<BrowserSession>(options_.session, *event_stream_);
      folder_ = session_->folder();
      database_ = session_->database();
      Nimbo& control = session_->control();
      // The real browser is the dialog: the component's save and print become instructions
      // for the page that asked.
      session_->browser().SetSavePathProvider([this](const std::filesystem::path& shown,
                                                     int) -> std::optional<std::filesystem::path> {
        action_ = json{{"kind", "save"},
                       {"url", "/app/" + EncodeSegment(shown.filename().string()) + "?download=1"}};
        return std::nullopt;
      });
      session_->browser().SetPrinter([this](const std::filesystem::path&, int) {
        action_ = json{{"kind", "print"}};
      });
      // The socket runs its I/O on a thread of its own and queues every notification onto this
      // thread's loop, so the component hears the mail server here, between the clients' calls.
      socket_ = std::make_shared<TcpSocket>(
          [this](std::function<void()> notification) { asio::post(io_, std::move(notification)); });
      WireMailSocket(control, socket_, {.failed = [this](const Error& e) { HostError(e); }});
      control.CanMail(options_.can_mail);
      control.Server(options_.smtp);
      control.FromID(options_.from);
      control.FromName(options_.from_name);

      design_container_ = std::make_shared<DesignTimeContainer>();
      design_control_ = std::make_unique<Nimbo>(design_container_, nullptr);
      if (!options_.form.empty() && std::filesystem::exists(options_.form)) {
        try {
          design_bag_ = JsonPropertyBag::Load(options_.form);
          design_control_->ReadProperties(design_bag_);
        } catch (const Error& e) {
          throw std::runtime_error(fmt::format("cannot read the property file {}: Error: {}, {}{}",
                                               options_.form, e.number(), e.description(),
                                               e.detail().empty() ? "" : "; " + e.detail()));
        }
      } else {
        design_control_->InitProperties();
      }
      design_page_.SelectedControls({design_control_.get()});
      design_page_.SelectionChanged();
    });
  } catch (...) {
    work_.reset();
    io_.stop();
    thread_.join();
    throw;
  }
}

WebHost::~WebHost() {
  StopWaiting();
  // The session goes on the thread it lived on; then the thread ends.
  Call([this] {
    if (socket_) socket_->Close();
    session_.reset();
    socket_.reset();
    design_control_.reset();
  });
  work_.reset();
  thread_.join();
}

void WebHost::OnEventLine(const std::string& line) {
  json event = json::parse(line, nullptr, false);
  if (event.is_discarded() || !event.is_object()) return;
  const std::string name = event.value("event", "");
  if (name == "Navigate") {
    const std::string url = event.value("url", "");
    const std::string prefix = folder_ + "/";
    if (url.compare(0, prefix.size(), prefix) == 0) {
      page_ =
          fmt::format("/app/{}?v={}", EncodeSegment(url.substr(prefix.size())), ++page_version_);
    } else {
      page_.clear();  // "about:blank", or a place the host does not serve
    }
  } else if (name == "OpenForm") {
    open_form_ = json{{"nFrm", event.value("nFrm", "")}, {"nID", event.value("nID", "")}};
  }
  std::function<void()> listener;
  {
    std::lock_guard lock(events_mutex_);
    event["seq"] = ++last_seq_;
    event["time"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    events_.push_back(std::move(event));
    if (events_.size() > kMaxLoggedEvents) events_.pop_front();
    listener = event_listener_;
  }
  events_changed_.notify_all();
  if (listener) listener();
}

void WebHost::MakeTreeRows(std::string& out, std::vector<std::size_t>& row_ends) const {
  // One compact row per node in display order: the client draws only the rows in view. A list
  // node may have a hundred thousand children, so the rows are written without a format string
  // each, and the colour, the same for most nodes, is spelled once.
  const auto append_number = [&out](long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
  };
  std::int32_t colour = 0;
  std::string colour_text = CssColour(colour);
  out.clear();
  row_ends.clear();
  session_->tree().Walk([&](const std::shared_ptr<Node>& node, int depth) {
    if (!row_ends.empty()) out += ',';
    out += '[';
    append_number(node->Index());
    out += ',';
    append_number(depth);
    out += ',';
    AppendJsonString(node->Text(), out);
    out += ',';
    AppendJsonString(node->Image(), out);
    out += node->Expanded() ? ",true," : ",false,";
    out += node->Selected() ? "true," : "false,";
    append_number(node->Children());
    out += ",\"";
    if (const std::int32_t fore = node->ForeColor(); fore != colour) {
      colour = fore;
      colour_text = CssColour(colour);
    }
    out += colour_text;
    // Whether a node not yet opened may have children: folder, list and recursive nodes make
    // theirs when displayed.
    bool may_open = false;
    if (node->Children() == 0) {
      const std::string& tag = node->Tag();
      const char kind = tag.size() > 5 ? tag[5] : ' ';
      if (kind == 'F' || kind == 'G' || kind == 'R') {
        const auto opened = opened_.find(node.get());
        may_open = opened == opened_.end() || opened->second.lock() != node;
      }
    }
    out += may_open ? "\",1]" : "\",0]";
    row_ends.push_back(out.size());
  });
}

namespace {

// Row `i` of rows joined by commas, without its comma.
std::string_view RowAt(const std::string& rows, const std::vector<std::size_t>& ends,
                       std::size_t i) {
  const std::size_t begin = i == 0 ? 0 : ends[i - 1] + 1;
  return std::string_view(rows).substr(begin, ends[i] - begin);
}

// A row's node: its index, the row's first member.
std::string_view RowNode(std::string_view row) { return row.substr(0, row.find(',')); }

}  // namespace

std::string WebHost::TreeSplices(const std::string& rows,
                                 const std::vector<std::size_t>& ends) const {
  // The change as splices [position, rows removed, [rows inserted]], applied in order. Most
  // changes are a branch loaded under a node and a few rows restyled (the selection moving, a
  // node opening): the rows both have before and after are matched by node, so only those rows
  // and the new branch are sent. Anything else sends the changed stretch whole.
  const std::vector<std::size_t>& old_ends = tree_row_ends_;
  const std::size_t n = old_ends.size();
  const std::size_t m = ends.size();
  auto old_row = [&](std::size_t i) { return RowAt(tree_rows_, old_ends, i); };
  auto new_row = [&](std::size_t i) { return RowAt(rows, ends, i); };
  std::size_t prefix = 0;
  while (prefix < n && prefix < m && old_row(prefix) == new_row(prefix)) ++prefix;
  std::size_t suffix = 0;
  while (suffix < n - prefix && suffix < m - prefix &&
         old_row(n - 1 - suffix) == new_row(m - 1 - suffix)) {
    ++suffix;
  }
  const std::size_t old_count = n - prefix - suffix;
  const std::size_t new_count = m - prefix - suffix;
  std::string out = "[";
  bool first = true;
  auto splice = [&](std::size_t at, std::size_t removed, std::size_t from, std::size_t count) {
    out += first ? "[" : ",[";
    first = false;
    out += std::to_string(at);
    out += ',';
    out += std::to_string(removed);
    out += ",[";
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) out += ',';
      out += new_row(from + i);
    }
    out += "]]";
  };
  // Where the nodes part ways: rows inserted (or removed) there, the rest matched one to one.
  std::size_t split = 0;
  const std::size_t common = std::min(old_count, new_count);
  while (split < common && RowNode(old_row(prefix + split)) == RowNode(new_row(prefix + split))) {
    ++split;
  }
  bool matched = true;
  for (std::size_t j = split; matched && j < common; ++j) {
    matched = RowNode(old_row(prefix + old_count - common + j)) ==
              RowNode(new_row(prefix + new_count - common + j));
  }
  if (!matched) {
    splice(prefix, old_count, prefix, new_count);
    return out + "]";
  }
  // Rows before the split, changed in place.
  for (std::size_t i = prefix; i < prefix + split; ++i) {
    if (old_row(i) != new_row(i)) splice(i, 1, i, 1);
  }
  // The branch that came or went at the split.
  const std::size_t at = prefix + split;
  if (new_count > old_count) {
    splice(at, 0, at, new_count - old_count);
  } else if (old_count > new_count) {
    splice(at, old_count - new_count, at, 0);
  }
  // Rows after it, changed in place, at their new positions.
  for (std::size_t j = split; j < common; ++j) {
    const std::size_t o = prefix + old_count - common + j;
    const std::size_t i = prefix + new_count - common + j;
    if (old_row(o) != new_row(i)) splice(i, 1, i, 1);
  }
  return out + "]";
}

std::string WebHost::StateOnThread(std::int64_t since) {
  std::int64_t seq = 0;
  {
    std::lock_guard lock(events_mutex_);
    seq = last_seq_;
  }
  std::string rows;
  std::vector<std::size_t> ends;
  MakeTreeRows(rows, ends);
  if (!tree_started_ || rows != tree_rows_) {
    if (!tree_started_) {
      tree_started_ = true;
      tree_version_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count() *
                      1024;
      tree_splices_.clear();
    } else {
      tree_splices_ = TreeSplices(rows, ends);
    }
    tree_rows_ = std::move(rows);
    tree_row_ends_ = std::move(ends);
    ++tree_version_;
  }
  std::string out = "{";
  if (since == tree_version_) {
    // The caller has this tree already.
  } else if (since == tree_version_ - 1 && !tree_splices_.empty()) {
    fmt::format_to(std::back_inserter(out), "\"treeDelta\":{{\"from\":{},\"splices\":", since);
    out += tree_splices_;
    out += "},";
  } else {
    out += "\"tree\":[";
    out += tree_rows_;
    out += "],";
  }
  fmt::format_to(std::back_inserter(out),
                 "\"treeVersion\":{},\"enabled\":{},\"talking\":{},\"canMail\":{},\"seq\":{},"
                 "\"page\":",
                 tree_version_, session_->tree().Enabled(), options_.session.talking,
                 options_.can_mail, seq);
  AppendJsonString(page_, out);
  out += '}';
  return out;
}

std::shared_ptr<Node> WebHost::NodeAt(int index, const std::string& text) const {
  auto& tree = session_->tree();
  if (index < 1 || index > tree.Count()) return nullptr;
  auto node = tree.Item(index);
  return node->Text() == text ? node : nullptr;
}

std::string WebHost::Refresh() {
  return Call([this] {
    session_->control().RefreshBrowser();
    // Without a definition the component shows nothing (or an earlier run's front page): the
    // report pane shows the host's page saying what is missing instead.
    if (!CheckDefinition(database_).missing.empty()) {
      page_ = fmt::format("/host/definition?v={}", ++page_version_);
    }
    return StateOnThread();
  });
}

std::string WebHost::DefinitionPage() {
  const DefinitionCheck check = CheckDefinition(database_);
  if (check.missing.empty()) return std::string();
  std::string items;
  for (const std::string& line : check.missing) {
    items += "<li>" + HtmlEscape(line) + "</li>\n";
  }
  return fmt::format(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>No browser definition</title></head>\n<body>\n"
      "<h1>This database has no browser definition</h1>\n"
      "<p>The database <code>{}</code> lacks what the Data Browser reads to build its tree and "
      "pages:</p>\n<ul>\n{}</ul>\n"
      "<p>Add the definition to the database and press Refresh; <code>nimbo demo DIR</code> "
      "writes a database with a complete one to start from.</p>\n</body></html>\n",
      HtmlEscape(database_), items);
}

std::optional<std::string> WebHost::Display(int index, const std::string& text,
                                             std::int64_t since) {
  return Call([this, index, &text, since]() -> std::optional<std::string> {
    auto node = NodeAt(index, text);
    if (!node) return std::nullopt;
    node->Selected(true);
    // Forgotten nodes go first, so the record stays as large as the tree at most.
    if (opened_.size() > static_cast<std::size_t>(session_->tree().Count())) {
      std::erase_if(opened_, [](const auto& entry) { return entry.second.expired(); });
    }
    opened_[node.get()] = node;
    session_->control().DisplayFor(node);
    return StateOnThread(since);
  });
}

std::optional<std::string> WebHost::Expand(int index, const std::string& text, bool expanded,
                                            std::int64_t since) {
  return Call([this, index, &text, expanded, since]() -> std::optional<std::string> {
    auto node = NodeAt(index, text);
    if (!node) return std::nullopt;
    node->Expanded(expanded);
    return StateOnThread(since);
  });
}

json WebHost::ProcessUrl(const std::string& url) {
  return Call([this, &url] {
    open_form_.reset();
    const bool handled = session_->control().ProcessURL(Variant(url));
    json answer = {{"handled", handled}};
    if (open_form_) {
      json form = *open_form_;
      if (options_.session.db.empty()) {
        form.update(DemoRecord(form.value("nFrm", ""), form.value("nID", "")));
      }
      answer["form"] = std::move(form);
    }
    return answer;
  });
}

json WebHost::PageCommand(void (Nimbo::*command)()) {
  return Call([this, command] {
    action_.reset();
    (session_->control().*command)();
    json answer = json::object();
    if (action_) answer["action"] = *action_;
    return answer;
  });
}

json WebHost::Save() { return PageCommand(&Nimbo::SavePage); }

json WebHost::Print() { return PageCommand(&Nimbo::PrintPage); }

json WebHost::Mail(const std::string& to, const std::string& subject, const std::string& message) {
  return Call([this, &to, &subject, &message] {
    Nimbo& control = session_->control();
    const bool idle = socket_->state() == TcpSocket::State::kClosed;
    try {
      control.ToID(to);
      control.ToName(to);
      control.Subject(subject);
      control.Message(message);
      control.SendMail();
    } catch (const Error& e) {
      HostDiagnostic(e.detail());
      return json{{"error", ErrorText(e)}};
    }
    // A refused mail (no permission, nothing shown) never opens the socket: the component's
    // own message says why, and the page shows no "sending" notice. A server that accepts and
    // then stays silent would hold the conversation open for ever: the socket ends it at the
    // deadline and the component hears the time-out (10060).
    const bool sending = socket_->state() != TcpSocket::State::kClosed;
    if (idle && sending) {
      socket_->SetDeadline(
          std::chrono::steady_clock::now() +
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(std::max(options_.mail_timeout, 0.0))));
    }
    return json{{"sending", sending}};
  });
}

void WebHost::HostMessage(const std::string& text) {
  OnEventLine(json{{"event", "HostMessage"}, {"sMessage", text}}.dump());
}

void WebHost::HostDiagnostic(const std::string& text) {
  if (text.empty() || !options_.session.talking) return;
  OnEventLine(json{{"event", "HostDiagnostic"}, {"sMessage", text}}.dump(
      -1, ' ', false, json::error_handler_t::replace));
}

void WebHost::HostError(const Error& error) {
  HostMessage(ErrorText(error));
  HostDiagnostic(error.detail());
}

std::string WebHost::State(std::int64_t since) {
  return Call([this, since] { return StateOnThread(since); });
}

json WebHost::DemoRecord(const std::string& form, const std::string& id) const {
  const auto number = ParseDigits(form);
  const auto key = ParseDigits(id);
  const auto known = std::find_if(std::begin(kDemoForms), std::end(kDemoForms),
                                  [&](const DemoForm& f) { return number && f.number == *number; });
  if (!key || known == std::end(kDemoForms)) return json::object();

  json fields = json::array();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(session_->database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    // The table name comes from the fixed list above; the record id is bound.
    const std::string sql = fmt::format("SELECT * FROM {} WHERE id = ?1", known->table);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
      sqlite3_bind_int64(stmt, 1, *key);
      if (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
          if (sqlite3_column_type(stmt, i) == SQLITE_BLOB) continue;  // pictures
          const auto* text = sqlite3_column_text(stmt, i);
          fields.push_back(json::array(
              {sqlite3_column_name(stmt, i),
               text ? std::string(reinterpret_cast<const char*>(text)) : std::string()}));
        }
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return {{"title", known->title}, {"fields", std::move(fields)}};
}

json WebHost::DesignOnThread() const {
  json controls = json::array();
  for (const PageControl& control : design_page_.Controls()) {
    controls.push_back({{"name", control.name},
                        {"kind", control.kind == PageControl::Kind::kLabel ? "label" : "textbox"},
                        {"caption", control.caption},
                        {"left", control.left},
                        {"top", control.top},
                        {"width", control.width},
                        {"height", control.height},
                        {"tabIndex", control.tab_index}});
  }
  return {{"caption", design_page_.Caption()},
          {"twipsPerPixel", 15},
          {"controls", std::move(controls)},
          {"texts",
           {{"txtActivePort", design_page_.Text("txtActivePort")},
            {"txtDAMode", design_page_.Text("txtDAMode")}}},
          {"file", options_.form}};
}

json WebHost::DesignPage() {
  return Call([this] { return DesignOnThread(); });
}

json WebHost::ApplyDesign(const std::string& active_port, const std::string& da_mode) {
  return Call([this, &active_port, &da_mode] {
    // Typing marks the page changed; a box left as it was is not typed into.
    if (design_page_.Text("txtActivePort") != active_port) {
      design_page_.Text("txtActivePort", active_port);
    }
    if (design_page_.Text("txtDAMode") != da_mode) design_page_.Text("txtDAMode", da_mode);
    std::string error;
    bool saved = false;
    if (design_page_.Changed()) {
      try {
        design_page_.ApplyChanges();
        design_control_->WriteProperties(design_bag_);
        if (!options_.form.empty()) {
          design_bag_.Save(options_.form);
          saved = true;
        }
        design_page_.Changed(false);
        design_page_.SelectionChanged();
      } catch (const Error& e) {
        error = ErrorText(e);
        HostDiagnostic(e.detail());
      }
    }
    json answer = DesignOnThread();
    answer["changed"] = design_page_.Changed();
    if (!error.empty()) answer["error"] = error;
    if (saved) answer["saved"] = options_.form;
    return answer;
  });
}

json WebHost::EventsAfter(std::int64_t after, int wait_ms) {
  std::unique_lock lock(events_mutex_);
  events_changed_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                           [&] { return stopping_ || last_seq_ > after; });
  json list = json::array();
  for (const json& event : events_) {
    if (event.value("seq", std::int64_t{0}) > after) list.push_back(event);
  }
  return {{"seq", last_seq_}, {"events", std::move(list)}};
}

void WebHost::StopWaiting() {
  {
    std::lock_guard lock(events_mutex_);
    stopping_ = true;
  }
  events_changed_.notify_all();
}

void WebHost::SetEventListener(std::function<void()> listener) {
  std::lock_guard lock(events_mutex_);
  event_listener_ = std::move(listener);
}

}  // namespace nimbo::app::serve

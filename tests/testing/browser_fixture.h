// A browser-definition database for the tests: the tables behind xspb1 (navigation rows), xspb2
// (section rows) and xspb3 (front page and page head), as a real SQLite file, plus a component
// wired to it at run time.
#ifndef NIMBO_TESTS_TESTING_BROWSER_FIXTURE_H_
#define NIMBO_TESTS_TESTING_BROWSER_FIXTURE_H_

#include <memory>
#include <string>
#include <vector>

#include "control/control_access.h"
#include "nimbo/events.h"
#include "nimbo/nimbo.h"
#include "testing/sqlite_fixture.h"

namespace nimbo::testing {

// The definition tables and their three procedures. Tests add rows with SQL of their own.
inline constexpr char kBrowserSchema[] =
    "CREATE TABLE nav (id INTEGER, caption TEXT, kind TEXT, parent INTEGER, proc TEXT,"
    " macro TEXT, image TEXT, access TEXT);"
    "CREATE TABLE sections (id INTEGER, page INTEGER, unused TEXT, caption TEXT, proc TEXT,"
    " macro TEXT, kind TEXT, form INTEGER, totals TEXT);"
    "CREATE TABLE pages (id INTEGER, a TEXT, b TEXT, html MEMO);";

// Records every event as one line of text, in order.
class EventLog : public Events {
 public:
  void Busy(bool busy) override { lines.push_back(busy ? "Busy|True" : "Busy|False"); }
  void OpenForm(const Variant& form, const Variant& id) override {
    lines.push_back("OpenForm|" + form.ToText() + "|" + id.ToText());
  }
  void NimboMessage(const std::string& text) override { lines.push_back("NimboMessage|" + text); }
  void LogIt(const std::string& type, const std::string& narration) override {
    lines.push_back("LogIt|" + type + "|" + narration);
  }
  void BlaBla(const std::string& text) override { lines.push_back("BlaBla|" + text); }
  std::vector<std::string> lines;
};

class BrowserDatabase : public FixtureDatabase {
 public:
  explicit BrowserDatabase(const std::string& rows = "")
      : FixtureDatabase(std::string(kBrowserSchema) + rows) {
    AddProcedure("xspb1", "SELECT * FROM nav ORDER BY rowid");
    AddProcedure("xspb2", "SELECT * FROM sections ORDER BY rowid");
    AddProcedure("xspb3", "SELECT * FROM pages WHERE id = @I1");
  }

  // Runs more SQL on the file (through a connection of its own).
  void Run(const std::string& sql) const { MakeDatabase(path(), sql); }
};

// A component at run time with ActivePort 80, its events logged, on a database file.
struct BrowserUnderTest {
  explicit BrowserUnderTest(const BrowserDatabase& db)
      : events(std::make_shared<EventLog>()),
        control(std::make_shared<RunTimeContainer>(), events) {
    control.ReadProperties(bag);
    control.ConnectionString(db.path().string());
    control.ApplicationFolder(db.dir().string());
    StateOf(control).ActivePort = 80;  // set at design time in a real form
  }

  class EmptyBag : public PropertyBag {
   public:
    Variant ReadProperty(const std::string&, const Variant& default_value) override {
      return default_value;
    }
    void WriteProperty(const std::string&, const Variant&, const Variant&) override {}
  } bag;
  std::shared_ptr<EventLog> events;
  Nimbo control;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_BROWSER_FIXTURE_H_

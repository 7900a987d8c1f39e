// The demo read through the record source the way the browser reads it: walking
// the tree from the root, every query of a reachable node or section opens with
// the arguments its parameter macro gives, and returns records of the shape its
// section writer expects.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "nimbo/record_source.h"
#include "nimbo/variant.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

namespace fs = std::filesystem;

bool IsNumericType(int type) {
  switch (type) {
    case field_type::kSmallInt:
    case field_type::kInteger:
    case field_type::kSingle:
    case field_type::kDouble:
    case field_type::kCurrency:
    case field_type::kTinyInt:
    case field_type::kBigInt:
    case field_type::kNumeric:
      return true;
    default:
      return false;
  }
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// One tree node as the browser makes it: the row that defines it, its Key and
// its Text.
struct Node {
  int row = 0;
  std::string key;
  std::string text;
  int depth = 0;
};

// A navigation or section row, its fields as texts.
using Row = std::vector<std::string>;

class DemoRecordSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::TempDir();
    database_ = new std::string(app::WriteDemo(dir_->path()));
  }
  static void TearDownTestSuite() {
    delete database_;
    delete dir_;
  }

  void SetUp() override {
    connection_ = CreateConnection();
    connection_->Open("Provider=Nimbo.SQLite.1;Data Source=" + *database_);
  }

  // Opens a detached, client-side record set on a command, as the browser's
  // reads do.
  std::shared_ptr<Recordset> Read(const std::string &command) {
    auto records = CreateRecordset();
    records->ActiveConnection(connection_);
    records->CursorLocation(kUseClient);
    records->CursorType(kOpenForwardOnly);
    records->LockType(kLockReadOnly);
    records->Open(command);
    records->ActiveConnection(nullptr);
    return records;
  }

  // All records of a command, each field as text (a chapter or picture as a
  // marker).
  std::vector<Row> Rows(const std::string &command) {
    auto records = Read(command);
    std::vector<Row> rows;
    for (; !records->Eof(); records->MoveNext()) {
      Row &row = rows.emplace_back();
      for (int i = 0; i < records->Fields().Count(); ++i) {
        const Variant value = records->Fields().Item(i).Value();
        row.push_back(value.IsNull() ? "" : value.ToText());
      }
    }
    return rows;
  }

  static testing::TempDir *dir_;
  static std::string *database_;
  std::shared_ptr<Connection> connection_;
};

testing::TempDir *DemoRecordSourceTest::dir_ = nullptr;
std::string *DemoRecordSourceTest::database_ = nullptr;

// The parameter text a row's macro gives for a node, with its leading space.
std::string Expand(const std::string &macro, const Node &node) {
  const std::string m = Upper(macro);
  if (m == "TEXT") return " '" + node.text + "'";
  if (m == "TODAY") return " '10 Dec 2026'";
  if (m.starts_with("LKEY")) return " " + std::to_string(std::stol(node.key.substr(0, 10)));
  if (m.starts_with("CKEY")) {
    return " '" + node.key.substr(0, std::stoul(m.substr(m.size() - 2))) + "'";
  }
  return " ";
}

// The front of a record child's Key: a number as ten digits, a text unchanged.
std::string KeyOf(const Variant &value) {
  if (value.IsNumber()) return fmt::format("{:010d}", value.ToLong());
  return value.ToText();
}

// Checks one level of a grouped record set and the levels below its first
// record that has children: every level has an ID, levels 1 and 2 one chapter
// each, level 3 none.
void CheckGroupLevel(Recordset &level, int depth) {
  SCOPED_TRACE("level " + std::to_string(depth));
  ASSERT_GT(level.RecordCount(), 0);
  int chapters = 0;
  bool has_id = false;
  for (int i = 0; i < level.Fields().Count(); ++i) {
    const Field &field = level.Fields().Item(i);
    chapters += field.Type() == field_type::kChapter;
    has_id |= field.Name() == "ID";
  }
  EXPECT_TRUE(has_id);
  EXPECT_EQ(chapters, depth < 3 ? 1 : 0);
  if (chapters == 0) return;
  for (level.MoveFirst(); !level.Eof(); level.MoveNext()) {
    for (int i = 0; i < level.Fields().Count(); ++i) {
      const Field &field = level.Fields().Item(i);
      if (field.Type() != field_type::kChapter) continue;
      const Variant child = field.Value();
      ASSERT_TRUE(child.IsObject());
      if (child.object()->RecordCount() > 0) {
        CheckGroupLevel(*child.object(), depth + 1);
        return;
      }
    }
  }
  ADD_FAILURE() << "no record of this level has child records";
}

// Checks that a section's record set suits the writer of its kind.
void CheckSection(const Row &section, Recordset &records) {
  const std::string kind = section[6];
  const std::string totals = section[8];
  const Fields &fields = records.Fields();
  auto type_at = [&](int position) { return fields.Item(position).Type(); };
  if (kind == "H" || kind == "I") {
    EXPECT_EQ(fields.Item(0).Name(), "ID") << "the entry form link needs the record's ID";
  }
  if (kind == "I") {
    int pictures = 0;
    for (int i = 0; i < fields.Count(); ++i) {
      if (Upper(fields.Item(i).Name()).starts_with("IMG")) {
        ++pictures;
        EXPECT_EQ(fields.Item(i).Type(), field_type::kLongVarBinary);
        if (records.RecordCount() > 0) {
          records.MoveFirst();
          const Variant picture = fields.Item(i).Value();
          ASSERT_EQ(picture.type(), VarType::kBytes);
          EXPECT_GT(picture.bytes().size(), 1000u);
        }
      }
    }
    EXPECT_EQ(pictures, 1);
  }
  if (kind == "S") {
    EXPECT_EQ(fields.Item(0).Name(), "ID");
    std::vector<int> positions;
    if (Upper(totals) == "ALL") {
      for (int p = 2; p < fields.Count(); ++p) positions.push_back(p);
    } else {
      for (std::size_t start = 0; start <= totals.size();) {
        const std::size_t end = std::min(totals.find(':', start), totals.size());
        positions.push_back(std::stoi(totals.substr(start, end - start)));
        start = end + 1;
      }
    }
    // Totals only show for number fields; any other listed field would shift
    // the totals row.
    for (const int p : positions) {
      ASSERT_LT(p, fields.Count());
      EXPECT_TRUE(IsNumericType(type_at(p))) << fields.Item(p).Name();
    }
  }
  if (kind == "C") {
    if (Upper(totals) == "ALL") {
      for (int p = 2; p < fields.Count(); ++p) EXPECT_TRUE(IsNumericType(type_at(p)));
    } else {
      const int label = std::stoi(totals.substr(0, totals.find(':')));
      const int value = std::stoi(totals.substr(totals.find(':') + 1));
      ASSERT_LT(label, fields.Count());
      ASSERT_LT(value, fields.Count());
      EXPECT_TRUE(IsNumericType(type_at(value))) << fields.Item(value).Name();
    }
  }
  if (kind == "M" && records.RecordCount() > 0) CheckGroupLevel(records, 1);
}

TEST_F(DemoRecordSourceTest, StoredPagesOpenAsTheStartUpLoadReadsThem) {
  for (const char *call : {"EXEC xspb3 @I1=1", "EXEC xspb3 @I1=2"}) {
    auto records = Read(call);
    ASSERT_EQ(records->RecordCount(), 1) << call;
    const Field &html = records->Fields().Item(3);
    EXPECT_EQ(html.Type(), field_type::kLongVarWChar);
    EXPECT_TRUE(html.Value().str().starts_with("<!DOCTYPE html>"));
  }
  EXPECT_EQ(Read("EXEC xspb1")->Fields().Count(), 8);
  EXPECT_EQ(Read("EXEC xspb2")->Fields().Count(), 9);
}

TEST_F(DemoRecordSourceTest, EveryReachableQueryOpensAndFitsItsSection) {
  std::map<int, Row> nav;
  std::vector<int> nav_order;
  for (const Row &row : Rows("EXEC xspb1")) {
    nav[std::stoi(row[0])] = row;
    nav_order.push_back(std::stoi(row[0]));
  }
  const std::vector<Row> sections = Rows("EXEC xspb2");
  std::set<std::string> sections_with_records;
  std::set<std::string> commands_run;
  int node_count = 1;

  // The records a list query gives as children built from template row t.
  auto record_children = [&](const std::string &command, int t, const Node &parent,
                             std::vector<Node> &out) {
    SCOPED_TRACE(command);
    commands_run.insert(command);
    std::shared_ptr<Recordset> records;
    ASSERT_NO_THROW(records = Read(command));
    ASSERT_GE(records->Fields().Count(), 2);
    for (; !records->Eof(); records->MoveNext()) {
      const Variant key = records->Fields().Item(0).Value();
      const Variant text = records->Fields().Item(1).Value();
      out.push_back({t, KeyOf(key) + "G" + std::to_string(node_count++),
                     text.IsNull() ? "" : text.ToText(), parent.depth + 1});
    }
  };

  std::deque<Node> queue{{1, "", "Data Browser", 0}};
  while (!queue.empty()) {
    const Node node = queue.front();
    queue.pop_front();
    const Row &row = nav.at(node.row);
    const std::string &kind = row[2];
    SCOPED_TRACE("node " + node.text + " (row " + row[0] + ")");

    std::vector<Node> children;
    if (kind == "F") {
      for (const int id : nav_order) {
        if (nav[id][3] == row[0]) {
          children.push_back({id, fmt::format("{:010d}F", id), nav[id][1], node.depth + 1});
          ++node_count;
        }
      }
    } else if (kind == "G" || kind == "R") {
      int t = node.row;
      if (kind == "G") {
        const auto first = std::find_if(nav_order.begin(), nav_order.end(),
                                        [&](int id) { return nav[id][3] == row[0]; });
        ASSERT_NE(first, nav_order.end());
        t = *first;
      }
      record_children("EXEC " + row[4] + Expand(row[5], node), t, node, children);
      if (kind == "R") {
        for (const int id : nav_order) {
          const Row &n = nav[id];
          if (n[3] == row[0] && n[2] == "N" && !n[4].empty()) {
            record_children("EXEC " + n[4] + Expand(n[5], node), id, node, children);
          }
        }
      }
    }

    if (node.row >= 2) {
      for (const Row &section : sections) {
        if (section[1] != row[0] || section[4].empty()) continue;
        const std::string command = "EXEC " + section[4] + Expand(section[5], node);
        SCOPED_TRACE("section " + section[0] + ": " + command);
        commands_run.insert(command);
        std::shared_ptr<Recordset> records;
        ASSERT_NO_THROW(records = Read(command));
        if (records->RecordCount() > 0) sections_with_records.insert(section[0]);
        CheckSection(section, *records);
      }
    }

    // Enough of the tree to reach every page: every folder child, the first few
    // records.
    const std::size_t follow = kind == "F" ? children.size() : 3;
    if (node.depth < 5) {
      for (std::size_t i = 0; i < children.size() && i < follow; ++i) {
        queue.push_back(children[i]);
      }
    }
  }

  // Every section shows something somewhere in the demo.
  for (const Row &section : sections) {
    EXPECT_TRUE(sections_with_records.count(section[0]))
        << "section " << section[0] << " (" << section[3] << ") never has records";
  }
  EXPECT_GT(commands_run.size(), 40u);
  // And every procedure of the catalog is one the rows call.
  std::set<std::string> called = {"XSPB1", "XSPB2", "XSPB3"};
  for (const std::string &command : commands_run) {
    called.insert(Upper(command.substr(5, command.find(' ', 5) - 5)));
  }
  for (const Row &procedure : Rows("SELECT name FROM nimbo_procedures")) {
    EXPECT_TRUE(called.count(Upper(procedure[0]))) << procedure[0] << " is never called";
  }
}

}  // namespace
}  // namespace nimbo

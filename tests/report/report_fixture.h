// Shared ground for the report page tests: a component on a real browser-definition database, with
// an in-process tree (root "Data Browser" and a selected child) and browser, a fixed clock, its
// events logged; and a way to run one section writer over the records of a query into a real page
// file.
#ifndef NIMBO_TESTS_REPORT_REPORT_FIXTURE_H_
#define NIMBO_TESTS_REPORT_REPORT_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/control_access.h"
#include "nimbo/date.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/record_source.h"
#include "platform/text_file.h"
#include "testing/browser_fixture.h"
#include "testing/test_support.h"

namespace nimbo::testing {

// A record set that passes everything to a real one; tests override what they change.
class ForwardingRecordset : public Recordset {
 public:
  explicit ForwardingRecordset(std::shared_ptr<Recordset> real) : real_(std::move(real)) {}

  void ActiveConnection(std::shared_ptr<Connection> c) override { real_->ActiveConnection(c); }
  std::shared_ptr<Connection> ActiveConnection() const override {
    return real_->ActiveConnection();
  }
  void CursorLocation(int value) override { real_->CursorLocation(value); }
  int CursorLocation() const override { return real_->CursorLocation(); }
  void CursorType(int value) override { real_->CursorType(value); }
  int CursorType() const override { return real_->CursorType(); }
  void LockType(int value) override { real_->LockType(value); }
  int LockType() const override { return real_->LockType(); }
  void Open(std::string_view command) override { real_->Open(command); }
  void Close() override { real_->Close(); }
  int State() const override { return real_->State(); }
  std::int32_t RecordCount() const override { return real_->RecordCount(); }
  void MoveFirst() override { real_->MoveFirst(); }
  void MoveNext() override { real_->MoveNext(); }
  bool Eof() const override { return real_->Eof(); }
  bool Bof() const override { return real_->Bof(); }
  Rows GetRows() override { return real_->GetRows(); }
  const nimbo::Fields& Fields() const override { return real_->Fields(); }

 protected:
  const std::shared_ptr<Recordset>& real() const { return real_; }

 private:
  std::shared_ptr<Recordset> real_;
};

// A record set that reports a RecordCount of its own, like a record set that cannot count its
// records (-1).
class RecordCountOverride : public ForwardingRecordset {
 public:
  RecordCountOverride(std::shared_ptr<Recordset> real, std::int32_t count)
      : ForwardingRecordset(std::move(real)), count_(count) {}
  std::int32_t RecordCount() const override { return count_; }

 private:
  std::int32_t count_;
};

// The date of the worked examples: Tuesday, 08 Dec 2026 09:17:44 PM.
inline Date ExampleNow() { return MakeDate(2026, 12, 8, 21, 17, 44); }

class ReportTest : public ::testing::Test {
 protected:
  explicit ReportTest(const std::string& rows = "") : db_(rows), b_(db_) {
    b_.control.SetControls(tree_, browser_);
    b_.control.SetClock(FixedClock(ExampleNow()));
    b_.control.Talking(true);
    root_ = tree_->Add(nullptr, Relationship::kLast, "", "Data Browser", "");
    Select("Sales");
  }

  ControlState& s() { return StateOf(b_.control); }
  const std::vector<std::string>& events() const { return b_.events->lines; }

  // Adds a child of the root with `text` and selects it.
  void Select(const std::string& text) {
    tree_->Add(root_, Relationship::kChild, "", text, "")->Selected(true);
  }
  void SelectNothing() { tree_->SelectedItem()->Selected(false); }

  // Opens a query as the data service would.
  std::shared_ptr<Recordset> Open(const std::string& sql) const { return db_.Open(sql); }

  // Runs `write` (a call of one section writer on the page file and the record set) over the
  // records of `sql`, and returns the page file's text.
  template <class Write>
  std::string WriteSection(const std::string& sql, Write&& write) {
    std::shared_ptr<Recordset> rs = sql.empty() ? nullptr : Open(sql);
    return WriteSection(rs, std::forward<Write>(write));
  }
  template <class Write>
  std::string WriteSection(std::shared_ptr<Recordset> rs, Write&& write) {
    const auto path = db_.dir() / "section.htm";
    TextFileWriter page(path.string());
    write(page, rs);
    page.Commit();
    return ReadFile(path);
  }

  BrowserDatabase db_;
  BrowserUnderTest b_;
  std::shared_ptr<MemoryTreeView> tree_ = std::make_shared<MemoryTreeView>();
  std::shared_ptr<HeadlessBrowser> browser_ = std::make_shared<HeadlessBrowser>();
  std::shared_ptr<Node> root_;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_REPORT_REPORT_FIXTURE_H_

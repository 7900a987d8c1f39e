// SHAPE commands on any text: a command parses or raises the command error and nothing else.
// A parsed command is then built over made-up query results (every RELATE column in every query,
// a few rows of NULLs, numbers, texts and blobs chosen by the command text), and every chapter
// is checked against a plain nested-loop match written here: each parent row's child rows are
// exactly those whose keys all equal the parent's (numbers by value, texts and blobs byte for
// byte, NULL matching nothing), in the child query's order.
//
// Input: the command text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/result_table.h"
#include "platform/db/shape.h"

namespace {

using nimbo::db::CellKind;
using nimbo::db::Chapter;
using nimbo::db::Column;
using nimbo::db::ResultTable;
using nimbo::db::ShapeChild;
using nimbo::db::ShapeCommand;
using nimbo::db::ShapeNode;
using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;

std::uint64_t Next(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// One cell of the made-up results: values that do and do not match across kinds.
void AddCell(Column& column, ResultTable& table, unsigned choice) {
  static constexpr char kA[] = "a";
  static constexpr char kOne[] = "1";
  switch (choice % 16) {
    case 0:
      return column.AddNull();
    case 1:
      return column.AddInteger(0);
    case 2:
      return column.AddInteger(1);
    case 3:
      return column.AddInteger(2);
    case 4:
      return column.AddInteger(std::numeric_limits<std::int64_t>::max());
    case 5:
      return column.AddReal(0.0);
    case 6:
      return column.AddReal(-0.0);
    case 7:
      return column.AddReal(1.0);
    case 8:
      return column.AddReal(0.5);
    case 9:
      return column.AddReal(9223372036854775808.0);
    case 10:
      return column.AddReal(std::numeric_limits<double>::quiet_NaN());
    case 11:
      return column.AddBytes(CellKind::kText, table.arena(), kOne, 1);
    case 12:
      return column.AddBytes(CellKind::kText, table.arena(), kA, 1);
    case 13:
      return column.AddBytes(CellKind::kText, table.arena(), kA, 0);
    case 14:
      return column.AddBytes(CellKind::kBlob, table.arena(), kA, 1);
    default:
      return column.AddBytes(CellKind::kBlob, table.arena(), kA, 0);
  }
}

// Whether two cells are equal keys: the same number, or the same bytes of the same kind.
bool Equal(const Column& a, std::uint32_t row_a, const Column& b, std::uint32_t row_b) {
  const CellKind x = a.kind(row_a);
  const CellKind y = b.kind(row_b);
  if (x == CellKind::kNull || y == CellKind::kNull) return false;
  const bool x_number = x == CellKind::kInteger || x == CellKind::kReal;
  const bool y_number = y == CellKind::kInteger || y == CellKind::kReal;
  if (x_number != y_number) return false;
  if (!x_number) return x == y && a.bytes(row_a) == b.bytes(row_b);
  if (x == CellKind::kReal && y == CellKind::kReal) return a.real(row_a) == b.real(row_b);
  if (x == CellKind::kInteger && y == CellKind::kInteger) {
    return a.integer(row_a) == b.integer(row_b);
  }
  const std::int64_t whole = x == CellKind::kInteger ? a.integer(row_a) : b.integer(row_b);
  const double real = x == CellKind::kReal ? a.real(row_a) : b.real(row_b);
  // The double equals the integer exactly: whole, within 64 bits, the same value.
  return std::isfinite(real) && std::trunc(real) == real && real >= -9223372036854775808.0 &&
         real < 9223372036854775808.0 && static_cast<std::int64_t>(real) == whole;
}

// Every RELATE column name of the command, each once (letter case ignored).
std::vector<std::string> RelateColumns(const ShapeCommand& command) {
  std::vector<std::string> names;
  auto add = [&](const std::string& name) {
    for (const std::string& known : names) {
      if (nimbo::db::SameName(known, name)) return;
    }
    names.push_back(name);
  };
  std::vector<const ShapeNode*> stack = {command.root.get()};
  while (!stack.empty()) {
    const ShapeNode* node = stack.back();
    stack.pop_back();
    if (node->is_query()) continue;
    stack.push_back(node->base.get());
    for (const ShapeChild& child : node->children) {
      for (const auto& relation : child.relations) {
        add(relation.parent_column);
        add(relation.child_column);
      }
      stack.push_back(child.table.get());
    }
  }
  return names;
}

std::vector<std::shared_ptr<ResultTable>> MadeUpResults(const ShapeCommand& command) {
  const std::vector<std::string> columns = RelateColumns(command);
  std::vector<std::shared_ptr<ResultTable>> results;
  for (std::size_t q = 0; q < command.queries.size(); ++q) {
    std::uint64_t state = std::hash<std::string>{}(command.queries[q]) + q;
    auto table = std::make_shared<ResultTable>();
    const auto rows = static_cast<std::uint32_t>(Next(state) % 7);
    for (const std::string& name : columns) {
      Column& column = table->AddColumn(name, 3);
      for (std::uint32_t row = 0; row < rows; ++row) {
        AddCell(column, *table, static_cast<unsigned>(Next(state)));
      }
    }
    table->set_row_count(rows);
    results.push_back(std::move(table));
  }
  return results;
}

void CheckChapter(const ResultTable& parent, const ShapeChild& child) {
  const int index = parent.FindColumn(child.name);
  Check(index >= 0, "every chapter is a field of its parent: " + child.name);
  const Column& field = parent.column(static_cast<std::size_t>(index));
  Check(field.type == 136 && field.chapter != nullptr, "a chapter field is of type 136");
  const Chapter& chapter = *field.chapter;
  const ResultTable& rows = *chapter.child;
  Check(chapter.group_of_parent.size() == parent.row_count(), "a group entry per parent row");

  std::vector<std::pair<const Column*, const Column*>> keys;
  for (const auto& relation : child.relations) {
    keys.emplace_back(
        &parent.column(static_cast<std::size_t>(parent.FindColumn(relation.parent_column))),
        &rows.column(static_cast<std::size_t>(rows.FindColumn(relation.child_column))));
  }
  for (std::uint32_t p = 0; p < parent.row_count(); ++p) {
    std::vector<std::uint32_t> expected;
    for (std::uint32_t c = 0; c < rows.row_count(); ++c) {
      bool all = true;
      for (const auto& [parent_column, child_column] : keys) {
        all = all && Equal(*parent_column, p, *child_column, c);
      }
      if (all) expected.push_back(c);
    }
    std::vector<std::uint32_t> actual;
    const std::uint32_t group = chapter.group_of_parent[p];
    if (group != Chapter::kNoGroup) {
      Check(group + 1 < chapter.group_begin.size(), "a parent's group exists");
      for (std::uint32_t i = chapter.group_begin[group]; i < chapter.group_begin[group + 1]; ++i) {
        actual.push_back(chapter.child_rows[i]);
      }
    }
    Check(actual == expected, "parent row " + std::to_string(p) + " of chapter " + child.name +
                                  " relates to exactly its matching child rows");
  }
}

// Walks the built tree beside the command, without recursion.
void CheckBuilt(const ShapeCommand& command, const ResultTable& root) {
  std::vector<std::pair<const ShapeNode*, const ResultTable*>> stack = {
      {command.root.get(), &root}};
  while (!stack.empty()) {
    const auto [node, table] = stack.back();
    stack.pop_back();
    if (node->is_query()) continue;
    stack.emplace_back(node->base.get(), table);  // a shape's base is extended in place
    for (const ShapeChild& child : node->children) {
      CheckChapter(*table, child);
      const Column& field = table->column(static_cast<std::size_t>(table->FindColumn(child.name)));
      stack.emplace_back(child.table.get(), field.chapter->child.get());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = nimbo::fuzz::AsText(data, size);
  ShapeCommand command;
  try {
    command = nimbo::db::ParseShape(text);
  } catch (const nimbo::Error& e) {
    Check(e.number() == nimbo::err::kCommandError || e.number() == nimbo::err::kNestedTooDeep,
          "a malformed or too deeply nested SHAPE raises the command or the nesting error");
    return 0;
  }
  Check(command.root != nullptr && !command.root->is_query(), "a command is a shape");
  for (const std::string& query : command.queries) {
    Check(text.find(query) != std::string_view::npos, "a query is text of the command");
  }

  std::shared_ptr<const ResultTable> built;
  try {
    // Without a memory limit: the made-up results are small, and the budget has tests of its own.
    nimbo::db::MemoryBudget budget(0);
    built = nimbo::db::BuildShape(command, MadeUpResults(command), budget);
  } catch (const nimbo::Error& e) {
    Check(e.number() == nimbo::err::kCommandError,
          "a SHAPE that cannot be built raises the "
          "command error");
    return 0;
  }
  CheckBuilt(command, *built);
  return 0;
}

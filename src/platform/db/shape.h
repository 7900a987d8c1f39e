// SHAPE commands: the data-shaping grammar that builds hierarchical record sets.
//
//   shape := SHAPE table [[AS] alias] APPEND child {"," child}
//   table := "{" sql "}" | "(" shape ")"
//   child := "(" table [[AS] alias] RELATE column TO column {"," column TO column} ")" [[AS] alias]
//
// Keywords are case-insensitive; names are words or [bracketed] / "quoted" identifiers. Each
// child adds a chapter field (type 136) to its parent, named by the alias after its closing
// parenthesis, else by the alias of its table, else Chapter1, Chapter2, ... counting the unnamed
// children of that parent. Back-end neutral: the back end runs the queries, once each, and
// BuildShape relates their results by hashing the RELATE keys.
#ifndef NIMBO_SRC_PLATFORM_DB_SHAPE_H_
#define NIMBO_SRC_PLATFORM_DB_SHAPE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/command_limits.h"
#include "platform/db/result_table.h"

namespace nimbo::db {

// How deep SHAPE commands may nest, far beyond any real report.
inline constexpr int kMaxShapeDepth = 64;

struct ShapeRelation {
  std::string parent_column;
  std::string child_column;
  std::size_t position = 0;  // of the parent column in the command text, from 1
};

struct ShapeNode;

struct ShapeChild {
  std::unique_ptr<ShapeNode> table;
  // The name of the chapter field.
  std::string name;
  std::vector<ShapeRelation> relations;
};

// A table of the grammar: a query, or a shape with its children.
struct ShapeNode {
  // A query: its text and its index in ShapeCommand::queries.
  std::string sql;
  std::size_t query_index = 0;
  // A shape: its own table and its children.
  std::unique_ptr<ShapeNode> base;
  std::vector<ShapeChild> children;

  bool is_query() const { return base == nullptr; }
};

struct ShapeCommand {
  std::unique_ptr<ShapeNode> root;
  // The texts of every query in the command, in the order they appear.
  std::vector<std::string> queries;
};

// Parses a SHAPE command. Raises nimbo::Error err::kCommandError naming the fault and its
// position (from 1): a missing keyword, brace or parenthesis, an empty query, an unterminated
// query, two chapters of one parent with the same name, trailing text; err::kNestedTooDeep for
// SHAPE commands nested more than kMaxShapeDepth levels deep.
ShapeCommand ParseShape(std::string_view text);

// Builds the hierarchical result of a parsed command from the records of its queries
// (`results[i]` for `command.queries[i]`; each is taken over and extended with chapter fields),
// charging the chapters' indexes to `budget`. Raises err::kCommandError for a RELATE column that
// its query does not have, or a chapter name that its parent already uses for a column;
// err::kRecordsetTooLarge when the budget runs out.
std::shared_ptr<const ResultTable> BuildShape(const ShapeCommand& command,
                                              std::vector<std::shared_ptr<ResultTable>> results,
                                              MemoryBudget& budget);

// Relates child rows to parent rows: for every parent row, the child rows whose key columns equal
// the parent's key columns (all pairs; numbers by value, texts and blobs byte for byte; a NULL
// matches nothing). Hashes the child keys once, then looks each parent up.
std::shared_ptr<Chapter> Relate(const ResultTable& parent, std::shared_ptr<const ResultTable> child,
                                const std::vector<int>& parent_columns,
                                const std::vector<int>& child_columns);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SHAPE_H_

// Parser of SHAPE commands and the hash join that relates child records to parent records.
#include "platform/db/shape.h"

#include <fmt/format.h>

#include <bit>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/sql_text.h"

namespace nimbo::db {
namespace {

[[noreturn]] void Malformed(std::string_view what, std::size_t index) {
  throw Error(err::kCommandError,
              fmt::format("Malformed SHAPE command: {} at position {}", what, index + 1));
}

class ShapeParser {
 public:
  explicit ShapeParser(std::string_view text) : text_(text) {}

  ShapeCommand Parse() {
    ShapeCommand command;
    command.root = ParseShape(command);
    Skip();
    if (i_ != text_.size()) Malformed("unexpected text", i_);
    return command;
  }

 private:
  void Skip() { i_ = SkipBlanksAndComments(text_, i_); }

  // The word at the current position, without consuming it ("" when there is none).
  std::string_view PeekWord() {
    Skip();
    std::size_t end = i_;
    if (end < text_.size() && IsWordStart(text_[end])) {
      while (end < text_.size() && IsWordChar(text_[end])) ++end;
    }
    return text_.substr(i_, end - i_);
  }

  bool AcceptKeyword(std::string_view keyword) {
    const std::string_view word = PeekWord();
    if (word.empty() || Upper(word) != keyword) return false;
    i_ += word.size();
    return true;
  }

  void ExpectKeyword(std::string_view keyword) {
    if (!AcceptKeyword(keyword)) Malformed(fmt::format("{} is expected", keyword), i_);
  }

  bool Accept(char c) {
    Skip();
    if (i_ < text_.size() && text_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Accept(c)) Malformed(fmt::format("\"{}\" is expected", c), i_);
  }

  static bool IsReserved(std::string_view word) {
    const std::string upper = Upper(word);
    return upper == "SHAPE" || upper == "APPEND" || upper == "RELATE" || upper == "TO" ||
           upper == "AS";
  }

  // A name: a word, a [bracketed] name or a "quoted" name (a doubled quote stands for one).
  // Returns false, consuming nothing, when none starts here.
  bool ReadName(std::string& name, bool allow_reserved) {
    Skip();
    if (i_ == text_.size()) return false;
    const char c = text_[i_];
    if (c == '[') {
      const std::size_t close = text_.find(']', i_ + 1);
      if (close == std::string_view::npos) Malformed("unterminated [name]", i_);
      name = std::string(text_.substr(i_ + 1, close - i_ - 1));
      if (name.empty()) Malformed("empty name", i_);
      i_ = close + 1;
      return true;
    }
    if (c == '"') {
      const std::size_t opening = i_++;
      name.clear();
      for (;;) {
        if (i_ == text_.size()) Malformed("unterminated \"name\"", opening);
        if (text_[i_] == '"') {
          if (i_ + 1 < text_.size() && text_[i_ + 1] == '"') {
            name += '"';
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        name += text_[i_++];
      }
      if (name.empty()) Malformed("empty name", opening);
      return true;
    }
    const std::string_view word = PeekWord();
    if (word.empty() || (!allow_reserved && IsReserved(word))) return false;
    name = std::string(word);
    i_ += word.size();
    return true;
  }

  void ExpectName(std::string& name, std::string_view what) {
    if (!ReadName(name, true)) Malformed(fmt::format("{} is expected", what), i_);
  }

  // [[AS] alias]; empty when there is none.
  std::string OptionalAlias() {
    std::string alias;
    if (AcceptKeyword("AS")) {
      ExpectName(alias, "an alias");
    } else {
      ReadName(alias, false);
    }
    return alias;
  }

  std::unique_ptr<ShapeNode> ParseShape(ShapeCommand& command) {
    Skip();
    const std::size_t start = i_;
    ExpectKeyword("SHAPE");
    // The parser, the builder and the writers of nested tables follow the nesting one call per
    // level, so a command nested without end would run the stack out.
    if (depth_ == kMaxShapeDepth) {
      throw Error(err::kNestedTooDeep,
                  fmt::format("SHAPE commands may nest at most {} levels deep; a deeper one starts "
                              "at position {}",
                              kMaxShapeDepth, start + 1));
    }
    ++depth_;
    auto node = std::make_unique<ShapeNode>();
    node->base = ParseTable(command);
    OptionalAlias();  // names the parent table only; nothing refers to it
    ExpectKeyword("APPEND");
    int unnamed = 0;
    do {
      const std::size_t child_start = i_;
      ShapeChild child = ParseChild(command);
      if (child.name.empty()) child.name = fmt::format("Chapter{}", ++unnamed);
      for (const ShapeChild& earlier : node->children) {
        if (SameName(earlier.name, child.name)) {
          Malformed(fmt::format("a second chapter named {}", child.name),
                    SkipBlanksAndComments(text_, child_start));
        }
      }
      node->children.push_back(std::move(child));
    } while (Accept(','));
    --depth_;
    return node;
  }

  std::unique_ptr<ShapeNode> ParseTable(ShapeCommand& command) {
    Skip();
    if (Accept('{')) {
      const std::size_t opening = i_ - 1;
      const std::size_t close = FindClosingBrace(opening);
      auto node = std::make_unique<ShapeNode>();
      node->sql = std::string(text_.substr(opening + 1, close - opening - 1));
      if (SkipBlanksAndComments(node->sql, 0) == node->sql.size())
        Malformed("empty query", opening);
      node->query_index = command.queries.size();
      command.queries.push_back(node->sql);
      i_ = close + 1;
      return node;
    }
    if (Accept('(')) {
      std::unique_ptr<ShapeNode> node = ParseShape(command);
      Expect(')');
      return node;
    }
    Malformed("\"{\" or \"(\" is expected", i_);
  }

  ShapeChild ParseChild(ShapeCommand& command) {
    Expect('(');
    ShapeChild child;
    child.table = ParseTable(command);
    const std::string table_alias = OptionalAlias();
    ExpectKeyword("RELATE");
    do {
      ShapeRelation relation;
      Skip();
      relation.position = i_ + 1;
      ExpectName(relation.parent_column, "a parent column");
      ExpectKeyword("TO");
      ExpectName(relation.child_column, "a child column");
      child.relations.push_back(std::move(relation));
    } while (Accept(','));
    Expect(')');
    child.name = OptionalAlias();
    if (child.name.empty()) child.name = table_alias;
    return child;
  }

  // The index of the "}" that closes the query opened at `opening`, past quoted texts, quoted
  // names and comments, so a brace inside them does not end the query.
  std::size_t FindClosingBrace(std::size_t opening) const {
    std::size_t i = opening + 1;
    while (i < text_.size()) {
      const char c = text_[i];
      if (c == '}') return i;
      if (c == '\'' || c == '"' || c == '`') {
        const std::size_t close = text_.find(c, i + 1);
        if (close == std::string_view::npos) break;
        i = close + 1;  // a doubled quote simply reopens the next quoted run
      } else if (c == '[') {
        const std::size_t close = text_.find(']', i + 1);
        if (close == std::string_view::npos) break;
        i = close + 1;
      } else if (text_.substr(i, 2) == "--" || text_.substr(i, 2) == "/*") {
        const std::size_t next = SkipBlanksAndComments(text_, i);
        i = next == i ? i + 1 : next;
      } else {
        ++i;
      }
    }
    Malformed("unterminated query (\"}\" is missing) starting", opening);
  }

  std::string_view text_;
  std::size_t i_ = 0;
  // The SHAPE commands open at the current position.
  int depth_ = 0;
};

// ---- Relating rows by their keys ----

struct KeyColumns {
  std::vector<const Column*> columns;
};

std::uint64_t Mix(std::uint64_t x) {
  // The finaliser of splitmix64: spreads every input bit over the whole word.
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// A cell reduced to what matching compares: numbers by value (an integral double is the same
// key as the integer), texts and blobs by their bytes.
struct KeyCell {
  enum class Kind { kInteger, kReal, kText, kBlob } kind = Kind::kInteger;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view bytes;
};

bool ReadKeyCell(const Column& column, std::uint32_t row, KeyCell& cell) {
  switch (column.kind(row)) {
    case CellKind::kNull:
      return false;
    case CellKind::kInteger:
      cell.kind = KeyCell::Kind::kInteger;
      cell.integer = column.integer(row);
      return true;
    case CellKind::kReal: {
      const double value = column.real(row);
      // 2^63 is the first double beyond the range of int64.
      if (std::trunc(value) == value && value >= -9223372036854775808.0 &&
          value < 9223372036854775808.0) {
        cell.kind = KeyCell::Kind::kInteger;
        cell.integer = static_cast<std::int64_t>(value);
      } else {
        cell.kind = KeyCell::Kind::kReal;
        cell.real = value;
      }
      return true;
    }
    case CellKind::kText:
      cell.kind = KeyCell::Kind::kText;
      cell.bytes = column.bytes(row);
      // An exact number that arrived as its digits matches by value, like any other number.
      if (column.type == field_type::kNumeric || column.type == field_type::kCurrency) {
        if (const std::optional<Currency> exact = ExactCurrency(cell.bytes)) {
          if (exact->scaled % 10000 == 0) {
            cell.kind = KeyCell::Kind::kInteger;
            cell.integer = exact->scaled / 10000;
          } else {
            cell.kind = KeyCell::Kind::kReal;
            cell.real = exact->ToDouble();
          }
        }
      }
      return true;
    case CellKind::kBlob:
      cell.kind = KeyCell::Kind::kBlob;
      cell.bytes = column.bytes(row);
      return true;
  }
  return false;
}

// The hash of a row's key; false when a key cell is NULL (such a row matches nothing).
bool HashKey(const KeyColumns& key, std::uint32_t row, std::uint64_t& hash) {
  hash = 0x9e3779b97f4a7c15ULL;
  KeyCell cell;
  for (const Column* column : key.columns) {
    if (!ReadKeyCell(*column, row, cell)) return false;
    std::uint64_t h = 0;
    switch (cell.kind) {
      case KeyCell::Kind::kInteger:
        h = static_cast<std::uint64_t>(cell.integer);
        break;
      case KeyCell::Kind::kReal:
        h = std::bit_cast<std::uint64_t>(cell.real);
        break;
      case KeyCell::Kind::kText:
      case KeyCell::Kind::kBlob:
        h = std::hash<std::string_view>{}(cell.bytes);
        break;
    }
    hash = Mix(hash ^ (h + static_cast<std::uint64_t>(cell.kind)));
  }
  return true;
}

bool SameKey(const KeyColumns& a, std::uint32_t row_a, const KeyColumns& b, std::uint32_t row_b) {
  KeyCell x;
  KeyCell y;
  for (std::size_t i = 0; i < a.columns.size(); ++i) {
    if (!ReadKeyCell(*a.columns[i], row_a, x) || !ReadKeyCell(*b.columns[i], row_b, y)) {
      return false;
    }
    if (x.kind != y.kind) return false;
    switch (x.kind) {
      case KeyCell::Kind::kInteger:
        if (x.integer != y.integer) return false;
        break;
      case KeyCell::Kind::kReal:
        if (x.real != y.real) return false;
        break;
      case KeyCell::Kind::kText:
      case KeyCell::Kind::kBlob:
        if (x.bytes != y.bytes) return false;
        break;
    }
  }
  return true;
}

KeyColumns KeyOf(const ResultTable& table, const std::vector<int>& indexes) {
  KeyColumns key;
  for (int index : indexes) key.columns.push_back(&table.column(static_cast<std::size_t>(index)));
  return key;
}

int ResolveColumn(const ResultTable& table, const std::string& name, std::string_view side,
                  std::size_t position) {
  const int index = table.FindColumn(name);
  if (index < 0 || table.column(static_cast<std::size_t>(index)).chapter) {
    throw Error(err::kCommandError,
                fmt::format("SHAPE: the {} query has no column {} (RELATE at position {})", side,
                            name, position));
  }
  return index;
}

// An upper bound of the memory Relate takes for the rows of a parent and a child table: the hash
// slots, and per child row its group, its place in the groups and a share of the groups' own
// arrays, and per parent row its group.
std::uint64_t RelateBytes(const ResultTable& parent, const ResultTable& child) {
  std::uint64_t slots = 16;
  while (slots < std::uint64_t{child.row_count()} * 2) slots *= 2;
  return slots * sizeof(std::uint32_t) + std::uint64_t{child.row_count()} * 48 +
         std::uint64_t{parent.row_count()} * sizeof(std::uint32_t);
}

// Recursion follows the nesting of the command, which the parser keeps to kMaxShapeDepth.
std::shared_ptr<ResultTable> Build(const ShapeNode& node,
                                   std::vector<std::shared_ptr<ResultTable>>& results,
                                   MemoryBudget& budget) {
  if (node.is_query()) return std::move(results[node.query_index]);
  std::shared_ptr<ResultTable> parent = Build(*node.base, results, budget);
  for (const ShapeChild& child : node.children) {
    std::shared_ptr<ResultTable> child_table = Build(*child.table, results, budget);
    std::vector<int> parent_columns;
    std::vector<int> child_columns;
    for (const ShapeRelation& relation : child.relations) {
      parent_columns.push_back(
          ResolveColumn(*parent, relation.parent_column, "parent", relation.position));
      child_columns.push_back(
          ResolveColumn(*child_table, relation.child_column, "child", relation.position));
    }
    if (parent->FindColumn(child.name) >= 0) {
      throw Error(
          err::kCommandError,
          fmt::format("SHAPE: the chapter {} has the name of a column of its parent", child.name));
    }
    budget.Charge(RelateBytes(*parent, *child_table));
    std::shared_ptr<Chapter> chapter =
        Relate(*parent, std::move(child_table), parent_columns, child_columns);
    parent->AddChapter(child.name, std::move(chapter));
  }
  return parent;
}

}  // namespace

ShapeCommand ParseShape(std::string_view text) { return ShapeParser(text).Parse(); }

std::shared_ptr<const ResultTable> BuildShape(const ShapeCommand& command,
                                              std::vector<std::shared_ptr<ResultTable>> results,
                                              MemoryBudget& budget) {
  return Build(*command.root, results, budget);
}

namespace {

// Whether two rows store the same whole numbers, texts or blobs in their key cells: then they have
// the same key. (Other cells, reals among them, are left to the hash and its comparison.)
bool SameStoredKey(const KeyColumns& key, std::uint32_t a, std::uint32_t b) {
  for (const Column* column : key.columns) {
    const CellKind kind = column->kind(a);
    if (kind != column->kind(b)) return false;
    switch (kind) {
      case CellKind::kInteger:
        if (column->integer(a) != column->integer(b)) return false;
        break;
      case CellKind::kText:
      case CellKind::kBlob:
        if (column->bytes(a) != column->bytes(b)) return false;
        break;
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<Chapter> Relate(const ResultTable& parent, std::shared_ptr<const ResultTable> child,
                                const std::vector<int>& parent_columns,
                                const std::vector<int>& child_columns) {
  const KeyColumns parent_key = KeyOf(parent, parent_columns);
  const KeyColumns child_key = KeyOf(*child, child_columns);
  const std::uint32_t child_count = child->row_count();

  // Open addressing over the distinct child keys; a slot holds its group + 1 (0: empty).
  std::size_t capacity = 16;
  while (capacity < std::size_t{child_count} * 2) capacity *= 2;
  const std::size_t mask = capacity - 1;
  std::vector<std::uint32_t> slots(capacity, 0);
  std::vector<std::uint64_t> group_hash;
  std::vector<std::uint32_t> group_first_row;
  std::vector<std::uint32_t> group_size;
  std::vector<std::uint32_t> group_of_child(child_count, Chapter::kNoGroup);

  for (std::uint32_t row = 0; row < child_count; ++row) {
    // Child rows mostly come in runs of one key (a child query ordered by its parent): a row
    // that stores the key of the row before joins its group without a lookup.
    if (row > 0 && group_of_child[row - 1] != Chapter::kNoGroup &&
        SameStoredKey(child_key, row, row - 1)) {
      group_of_child[row] = group_of_child[row - 1];
      ++group_size[group_of_child[row]];
      continue;
    }
    std::uint64_t hash;
    if (!HashKey(child_key, row, hash)) continue;
    std::size_t slot = hash & mask;
    std::uint32_t group = Chapter::kNoGroup;
    while (slots[slot] != 0) {
      const std::uint32_t candidate = slots[slot] - 1;
      if (group_hash[candidate] == hash &&
          SameKey(child_key, group_first_row[candidate], child_key, row)) {
        group = candidate;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (group == Chapter::kNoGroup) {
      group = static_cast<std::uint32_t>(group_hash.size());
      slots[slot] = group + 1;
      group_hash.push_back(hash);
      group_first_row.push_back(row);
      group_size.push_back(0);
    }
    group_of_child[row] = group;
    ++group_size[group];
  }

  auto chapter = std::make_shared<Chapter>();
  const std::size_t groups = group_hash.size();
  chapter->group_begin.resize(groups + 1);
  for (std::size_t g = 0; g < groups; ++g) {
    chapter->group_begin[g + 1] = chapter->group_begin[g] + group_size[g];
  }
  chapter->child_rows.resize(chapter->group_begin[groups]);
  // Filled in row order, so every group keeps the order of the child query.
  std::vector<std::uint32_t> fill(chapter->group_begin.begin(), chapter->group_begin.end() - 1);
  for (std::uint32_t row = 0; row < child_count; ++row) {
    const std::uint32_t group = group_of_child[row];
    if (group != Chapter::kNoGroup) chapter->child_rows[fill[group]++] = row;
  }

  chapter->group_of_parent.assign(parent.row_count(), Chapter::kNoGroup);
  for (std::uint32_t row = 0; row < parent.row_count(); ++row) {
    std::uint64_t hash;
    if (!HashKey(parent_key, row, hash)) continue;
    for (std::size_t slot = hash & mask; slots[slot] != 0; slot = (slot + 1) & mask) {
      const std::uint32_t candidate = slots[slot] - 1;
      if (group_hash[candidate] == hash &&
          SameKey(parent_key, row, child_key, group_first_row[candidate])) {
        chapter->group_of_parent[row] = candidate;
        break;
      }
    }
  }
  chapter->child = std::move(child);
  return chapter;
}

}  // namespace nimbo::db

// SQLite adapter: rows into column storage, declared types into field type codes.
#include "platform/db/sqlite_reader.h"

#include <fmt/format.h>

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/sql_text.h"

namespace nimbo::db {

int DeclaredFieldType(std::string_view declared) {
  std::size_t start = 0;
  while (start < declared.size() && IsBlank(declared[start])) ++start;
  std::size_t end = start;
  while (end < declared.size() && IsWordStart(declared[end])) ++end;
  const std::string word = Upper(declared.substr(start, end - start));
  static constexpr std::array<std::pair<std::string_view, int>, 26> kTypes{{
      {"INTEGER", field_type::kInteger},        {"INT", field_type::kInteger},
      {"SMALLINT", field_type::kSmallInt},      {"TINYINT", field_type::kTinyInt},
      {"BIGINT", field_type::kBigInt},          {"REAL", field_type::kDouble},
      {"DOUBLE", field_type::kDouble},          {"FLOAT", field_type::kDouble},
      {"SINGLE", field_type::kSingle},          {"CURRENCY", field_type::kCurrency},
      {"MONEY", field_type::kCurrency},         {"DECIMAL", field_type::kNumeric},
      {"NUMERIC", field_type::kNumeric},        {"DATE", field_type::kDate},
      {"DATETIME", field_type::kDate},          {"TIMESTAMP", field_type::kDate},
      {"TEXT", field_type::kVarWChar},          {"VARCHAR", field_type::kVarWChar},
      {"CHAR", field_type::kVarWChar},          {"MEMO", field_type::kLongVarWChar},
      {"HYPERLINK", field_type::kLongVarWChar}, {"LONGTEXT", field_type::kLongVarWChar},
      {"BLOB", field_type::kLongVarBinary},     {"IMAGE", field_type::kLongVarBinary},
      {"BOOLEAN", field_type::kBoolean},        {"BIT", field_type::kBoolean},
  }};
  for (const auto& [name, type] : kTypes) {
    if (word == name) return type;
  }
  return 0;
}

namespace {

int TypeOfFirstValue(const Column& column) {
  for (std::size_t row = 0; row < column.kinds.size(); ++row) {
    switch (column.kinds[row]) {
      case CellKind::kNull:
        continue;
      case CellKind::kInteger:
        return field_type::kInteger;
      case CellKind::kReal:
        return field_type::kDouble;
      case CellKind::kText:
        return field_type::kVarWChar;
      case CellKind::kBlob:
        return field_type::kLongVarBinary;
    }
  }
  return field_type::kVarWChar;
}

}  // namespace

std::shared_ptr<ResultTable> ReadAllRows(sqlite3* db, sqlite3_stmt* statement,
                                         MemoryBudget& budget) {
  auto table = std::make_shared<ResultTable>();
  const int column_count = sqlite3_column_count(statement);
  for (int c = 0; c < column_count; ++c) {
    const char* name = sqlite3_column_name(statement, c);
    const char* declared = sqlite3_column_decltype(statement, c);
    table->AddColumn(name ? name : "", declared ? DeclaredFieldType(declared) : 0);
  }
  Arena& arena = table->arena();
  std::uint32_t rows = 0;
  // Every column holds the same number of cells, so they grow together, by doubling, and the
  // growth is charged before the columns allocate it.
  std::size_t capacity = 0;
  constexpr std::size_t kCellBytes = sizeof(CellKind) + sizeof(std::uint64_t);
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      if (rc == SQLITE_TOOBIG && budget.limit() != 0 &&
          static_cast<std::uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1)) >=
              budget.limit()) {
        budget.Exceeded();
      }
      throw Error(err::kProviderError, sqlite3_errmsg(db));
    }
    if (rows == std::numeric_limits<std::uint32_t>::max() - 1) {
      throw Error(err::kProviderError, "The query returned too many records.");
    }
    if (rows == capacity) {
      // As the columns' stores grow: a first chunk of 64 cells, then chunks of twice as many.
      const std::size_t grown = capacity * 2 + 64;
      budget.Charge((grown - capacity) * kCellBytes * static_cast<std::size_t>(column_count));
      capacity = grown;
    }
    for (int c = 0; c < column_count; ++c) {
      Column& column = table->column(static_cast<std::size_t>(c));
      // One lookup of the cell, then its parts: each sqlite3_column_* call would find the row's
      // cell again and check the connection's error state. The connection is used by one thread
      // at a time (it is opened without a mutex), so the unprotected value is safe to read here.
      sqlite3_value* value = sqlite3_column_value(statement, c);
      switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
          column.AddInteger(sqlite3_value_int64(value));
          break;
        case SQLITE_FLOAT:
          column.AddReal(sqlite3_value_double(value));
          break;
        case SQLITE_TEXT: {
          const unsigned char* text = sqlite3_value_text(value);
          const int size = sqlite3_value_bytes(value);
          budget.Charge(Arena::StoredSize(static_cast<std::uint32_t>(size)));
          column.AddBytes(CellKind::kText, arena, text, static_cast<std::uint32_t>(size));
          break;
        }
        case SQLITE_BLOB: {
          const void* blob = sqlite3_value_blob(value);
          const int size = sqlite3_value_bytes(value);
          budget.Charge(Arena::StoredSize(static_cast<std::uint32_t>(size)));
          column.AddBytes(CellKind::kBlob, arena, blob, static_cast<std::uint32_t>(size));
          break;
        }
        default:
          column.AddNull();
          break;
      }
    }
    ++rows;
  }
  table->set_row_count(rows);
  for (int c = 0; c < column_count; ++c) {
    Column& column = table->column(static_cast<std::size_t>(c));
    if (column.type == 0) column.type = TypeOfFirstValue(column);
  }
  return table;
}

}  // namespace nimbo::db

// PostgreSQL adapter: the field type codes of result columns and the storing of their values
// (in libpq's text form) into a ResultTable, row by row as single-row mode delivers them.
#ifndef NIMBO_SRC_PLATFORM_DB_PG_READER_H_
#define NIMBO_SRC_PLATFORM_DB_PG_READER_H_

#include <libpq-fe.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/db/result_table.h"

namespace nimbo::db {

// The field type code of a column type: int2 2, int4 3, int8 20, float4 4, float8 5, money 6,
// numeric 131, date/timestamp/timestamptz 7, bool 11, text/varchar/bpchar 202, bytea 205; any
// other type 202 (its values keep their text form).
int PgFieldType(Oid type);

// Builds the table of one query's result.
class PgTableBuilder {
 public:
  PgTableBuilder();

  // Takes the columns from a result's description; called once, with the first result.
  void SetColumns(const PGresult* result);
  bool has_columns() const { return has_columns_; }
  // Stores every row of a result (one in single-row mode). Raises err::kProviderError when the
  // table would hold more records than a record set can count.
  void AddRows(const PGresult* result);
  // The finished table.
  std::shared_ptr<ResultTable> Finish();

  // A text column read straight from a table column, which may be declared with one of the long
  // text domains (see PgLongTextDomains).
  struct TableColumn {
    std::size_t column = 0;
    Oid table = 0;
    int number = 0;  // the column's number in its table (attnum)
  };
  const std::vector<TableColumn>& text_sources() const { return text_sources_; }

 private:
  enum class Decode : std::uint8_t { kInteger, kReal, kBoolean, kDecimal, kMoney, kDate, kBytea,
                                     kText };
  void AddValue(Column& column, Decode decode, std::string_view text);

  std::shared_ptr<ResultTable> table_;
  std::vector<Decode> decode_;
  std::uint32_t rows_ = 0;
  bool has_columns_ = false;
  std::vector<TableColumn> text_sources_;
};

// The server reports a domain's values as its base type, so a column declared with a domain
// named memo, hyperlink or longtext (any letter case) over text is a long text (203) only by its
// declaration. This query finds such columns among the tables of $1 (an oid[] text); it returns
// (table oid, column number) pairs.
inline constexpr char kPgLongTextColumnsSql[] =
    "SELECT a.attrelid::int8, a.attnum::int4 FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
    "WHERE t.typtype = 'd' AND lower(t.typname) IN ('memo', 'hyperlink', 'longtext') "
    "AND a.attrelid = ANY ($1::oid[])";

// A money value's text (in the C monetary locale: "$1,234.56", "-$0.50") as a plain decimal
// ("1234.56", "-0.50"); the text unchanged when it is not of that form.
std::string PlainMoney(std::string_view text);

// A date, timestamp or timestamptz text to the second: the fraction of a second and the zone
// offset dropped ("2026-12-08 21:17:44.5+01" gives "2026-12-08 21:17:44").
std::string_view DateToSecond(std::string_view text);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_PG_READER_H_

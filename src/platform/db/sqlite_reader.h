// SQLite adapter: fetching every row of a prepared statement into a ResultTable, and the field
// type codes of its columns.
#ifndef NIMBO_SRC_PLATFORM_DB_SQLITE_READER_H_
#define NIMBO_SRC_PLATFORM_DB_SQLITE_READER_H_

#include <sqlite3.h>

#include <memory>
#include <string_view>

#include "platform/db/command_limits.h"
#include "platform/db/result_table.h"

namespace nimbo::db {

// The field type code of a declared column type, by its first word in any letter case
// ("VARCHAR(50)" is VARCHAR): INTEGER/INT 3, SMALLINT 2, TINYINT 16, BIGINT 20,
// REAL/DOUBLE/FLOAT 5, SINGLE 4, CURRENCY/MONEY 6, DECIMAL/NUMERIC 131, DATE/DATETIME/TIMESTAMP 7,
// TEXT/VARCHAR/CHAR 202, MEMO/HYPERLINK/LONGTEXT 203, BLOB/IMAGE 205, BOOLEAN/BIT 11; 0 for no
// declared type or any other.
int DeclaredFieldType(std::string_view declared);

// Steps `statement` to its end, storing every row and charging its memory to `budget` before
// it is taken. Columns whose declared type gives no code take theirs from the storage class of
// their first non-NULL value (integer 3, real 5, text 202, blob 205; 202 when all are NULL).
// Raises err::kRecordsetTooLarge when the budget runs out (or SQLite finds a value longer than
// it allows), err::kProviderError with the database's message when a step fails otherwise.
std::shared_ptr<ResultTable> ReadAllRows(sqlite3* db, sqlite3_stmt* statement,
                                         MemoryBudget& budget);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SQLITE_READER_H_

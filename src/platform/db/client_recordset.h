// The record set of every back end: a client-side, detached, read-only view over fetched rows
// (a whole result, or the child rows of one chapter).
#ifndef NIMBO_SRC_PLATFORM_DB_CLIENT_RECORDSET_H_
#define NIMBO_SRC_PLATFORM_DB_CLIENT_RECORDSET_H_

#include <cstdint>
#include <memory>

#include "nimbo/record_source.h"
#include "platform/db/result_table.h"

namespace nimbo::db {

// The rows of a table that a record set shows.
struct RowView {
  std::shared_ptr<const ResultTable> table;
  // Keeps `rows` alive.
  std::shared_ptr<const void> owner;
  // The table's row numbers in order; null means rows 0 .. count - 1.
  const std::uint32_t* rows = nullptr;
  std::uint32_t count = 0;

  std::uint32_t row(std::uint32_t position) const { return rows ? rows[position] : position; }
};

// A new closed record set with the default settings.
std::shared_ptr<Recordset> CreateClientRecordset();

// A new record set, open on `view`, positioned on its first row, with no connection.
std::shared_ptr<Recordset> OpenClientRecordset(RowView view);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CLIENT_RECORDSET_H_

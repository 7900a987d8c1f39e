// nimbo::Rows: the two-dimensional array of values that Recordset::GetRows returns, indexed
// (field, row), both from 0. Access out of range raises nimbo::Error 9 (Subscript out of range).
// A plain value type: copies are independent (except record sets held as Objects, which are
// shared references). Not thread-safe to share a mutable Rows.
#ifndef NIMBO_ROWS_H_
#define NIMBO_ROWS_H_

#include <cstddef>
#include <vector>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

class NIMBO_API Rows {
 public:
  // An array with no fields and no rows; every access raises 9.
  Rows() = default;
  // An array of `field_count` x `row_count` Empty values. Raises 9 for a negative size.
  Rows(int field_count, int row_count);

  int field_count() const { return field_count_; }
  int row_count() const { return row_count_; }
  // The classic upper bound of a dimension: 1 for fields, 2 for rows (field_count() - 1 or
  // row_count() - 1). Raises 9 for any other dimension.
  int UBound(int dimension) const;

  // The value of a field in a row. Raises 9 when either index is out of range.
  const Variant& operator()(int field, int row) const;
  Variant& operator()(int field, int row);

 private:
  std::size_t IndexOf(int field, int row) const;

  int field_count_ = 0;
  int row_count_ = 0;
  // Row after row; the fields of one row lie together.
  std::vector<Variant> values_;
};

}  // namespace nimbo

#endif  // NIMBO_ROWS_H_

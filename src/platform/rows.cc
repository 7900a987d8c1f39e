// The (field, row) array that Recordset::GetRows returns.
#include "nimbo/rows.h"

#include "nimbo/error.h"

namespace nimbo {

Rows::Rows(int field_count, int row_count) : field_count_(field_count), row_count_(row_count) {
  if (field_count < 0 || row_count < 0) throw Error(err::kSubscriptOutOfRange);
  values_.resize(static_cast<std::size_t>(field_count) * static_cast<std::size_t>(row_count));
}

int Rows::UBound(int dimension) const {
  if (dimension == 1) return field_count_ - 1;
  if (dimension == 2) return row_count_ - 1;
  throw Error(err::kSubscriptOutOfRange);
}

std::size_t Rows::IndexOf(int field, int row) const {
  if (field < 0 || field >= field_count_ || row < 0 || row >= row_count_) {
    throw Error(err::kSubscriptOutOfRange);
  }
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(field_count_) +
         static_cast<std::size_t>(field);
}

const Variant& Rows::operator()(int field, int row) const { return values_[IndexOf(field, row)]; }

Variant& Rows::operator()(int field, int row) { return values_[IndexOf(field, row)]; }

}  // namespace nimbo

// A field of a fetched record set whose current value can be read as it is stored, without
// building a Variant: a big page's text and number cells then go straight from the record set
// into the line.
#ifndef NIMBO_SRC_PLATFORM_DB_CELL_PEEK_H_
#define NIMBO_SRC_PLATFORM_DB_CELL_PEEK_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "nimbo/record_source.h"

namespace nimbo::db {

// A number as Value() would give it: a Currency's ten-thousandths, or any other number as the
// Double that Variant::ToDouble gives for it.
struct PeekedNumber {
  bool is_currency = false;
  std::int64_t scaled = 0;  // for a Currency
  double number = 0;        // for every other number
};

class CellPeek {
 public:
  // True, with the stored bytes (valid until the record set is reopened or destroyed), when the
  // current value is a text that Value() would give unchanged as a String; false for every other
  // value, which the caller then reads with Value(). Raises as Value() does with no current
  // record.
  virtual bool PeekText(std::string_view& text) const = 0;
  // True, with the number, when Value() would give a Byte, Integer, Long, Double or Currency;
  // false for every other value (Null, texts, Booleans, chapters), which the caller then reads
  // with Value(). Raises as Value() does with no current record or a Currency out of range.
  virtual bool PeekNumber(PeekedNumber& number) const = 0;
  // For a chapter field, true with `child` open on the current record's child rows, as Value()
  // would give them: a record set that an earlier call for this field gave is shown the new
  // rows in place (its field objects stay the same), so a page that walks every parent's
  // children makes one child record set per level rather than one per parent. False for any
  // other field. Raises as Value() does with no current record.
  virtual bool PeekChapter(std::shared_ptr<Recordset>& child) const = 0;

 protected:
  CellPeek() = default;
  ~CellPeek() = default;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CELL_PEEK_H_

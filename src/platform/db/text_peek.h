// A field of a fetched record set whose current value can be read as the text it stores, without
// building a Variant: a big table's text cells are then escaped straight from the record set.
#ifndef NIMBO_SRC_PLATFORM_DB_TEXT_PEEK_H_
#define NIMBO_SRC_PLATFORM_DB_TEXT_PEEK_H_

#include <string_view>

namespace nimbo::db {

class TextPeek {
 public:
  // True, with the stored bytes (valid until the record set is reopened or destroyed), when the
  // current value is a text that Value() would give unchanged as a String; false for every other
  // value, which the caller then reads with Value(). Raises as Value() does with no current
  // record.
  virtual bool PeekText(std::string_view& text) const = 0;

 protected:
  TextPeek() = default;
  ~TextPeek() = default;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_TEXT_PEEK_H_

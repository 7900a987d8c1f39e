// Column storage of fetched records and the building of Variants from it.
#include "platform/db/result_table.h"

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/client_recordset.h"

namespace nimbo::db {

void* AllocateLarge(std::size_t bytes) {
  if (bytes < kHugeBytes) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  const std::size_t rounded = (bytes + kHugeBytes - 1) / kHugeBytes * kHugeBytes;
  void* memory = std::aligned_alloc(kHugeBytes, rounded);
  if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__)
  // Only advice: where huge pages are off or short, the memory is ordinary pages.
  ::madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  return memory;
}

void LargeFree::operator()(void* memory) const { std::free(memory); }

const char* Arena::Store(const void* data, std::uint32_t size) {
  const std::size_t needed = sizeof size + size;
  if (needed > left_) {
    // Large values get a block of their own so the current block's free space is not lost.
    const std::size_t block = std::max(needed, block_size_);
    if (block == block_size_ && block_size_ < kLastBlock) block_size_ *= 2;
    blocks_.push_back(MakeLargeArray<char>(block));
    if (block == needed && left_ > 0) {
      char* handle = blocks_.back().get();
      std::memcpy(handle, &size, sizeof size);
      if (size > 0) std::memcpy(handle + sizeof size, data, size);
      return handle;
    }
    next_ = blocks_.back().get();
    left_ = block;
  }
  char* handle = next_;
  std::memcpy(handle, &size, sizeof size);
  if (size > 0) std::memcpy(handle + sizeof size, data, size);
  next_ += needed;
  left_ -= needed;
  return handle;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::optional<Currency> ExactCurrency(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t scaled = 0;
  int decimals = -1;  // -1 before the point
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    digits = true;
    if (decimals >= 4) {
      if (c != '0') return std::nullopt;
      continue;
    }
    if (scaled > (kMax - (c - '0')) / 10) return std::nullopt;
    scaled = scaled * 10 + (c - '0');
    if (decimals >= 0) ++decimals;
  }
  if (!digits) return std::nullopt;
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) {
    if (scaled > kMax / 10) return std::nullopt;
    scaled *= 10;
  }
  return Currency{negative ? -scaled : scaled};
}

int ResultTable::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (SameName(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Column& ResultTable::AddColumn(std::string name, int type) {
  Column& column = columns_.emplace_back();
  column.name = std::move(name);
  column.type = type;
  return column;
}

void ResultTable::AddChapter(std::string name, std::shared_ptr<const Chapter> chapter) {
  Column& column = AddColumn(std::move(name), field_type::kChapter);
  column.chapter = std::move(chapter);
}

namespace {

Variant BytesOf(std::string_view stored) { return Variant(Bytes(stored.begin(), stored.end())); }

// A cell as the database stored it, with no regard to the declared type.
Variant Plain(const Column& column, std::uint32_t row) {
  switch (column.kind(row)) {
    case CellKind::kNull:
      return Variant::Null();
    case CellKind::kInteger:
      return Variant::Whole(column.integer(row));
    case CellKind::kReal:
      return Variant(column.real(row));
    case CellKind::kText:
      return Variant(column.bytes(row));
    case CellKind::kBlob:
      return BytesOf(column.bytes(row));
  }
  return Variant::Null();
}

// A whole or real cell as a Currency; raises 6 beyond its range.
Currency StoredCurrency(const Column& column, std::uint32_t row) {
  if (column.kind(row) == CellKind::kInteger) {
    const std::int64_t value = column.integer(row);
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10000;
    if (value > kLimit || value < -kLimit) throw Error(err::kOverflow);
    return Currency{value * 10000};
  }
  return Currency::FromDouble(column.real(row));
}

Variant AsCurrency(const Column& column, std::uint32_t row) {
  if (column.kind(row) == CellKind::kInteger || column.kind(row) == CellKind::kReal) {
    return Variant(StoredCurrency(column, row));
  }
  if (column.kind(row) == CellKind::kText) {
    const std::string_view text = column.bytes(row);
    if (const std::optional<Currency> exact = ExactCurrency(text)) return Variant(*exact);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && ptr == text.data() + text.size() && !text.empty() &&
        std::isfinite(value)) {
      return Variant(Currency::FromDouble(value));
    }
  }
  return Plain(column, row);
}

// A decimal text in a Numeric column: exact as a Currency when it fits one, else the nearest
// Double; any other text stays text.
Variant AsNumeric(const Column& column, std::uint32_t row) {
  const std::string_view text = column.bytes(row);
  if (const std::optional<Currency> exact = ExactCurrency(text)) return Variant(*exact);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && ptr == text.data() + text.size() && !text.empty() &&
      std::isfinite(value)) {
    return Variant(value);
  }
  return Plain(column, row);
}

}  // namespace

Variant ResultTable::Value(std::size_t index, std::uint32_t row) const {
  const Column& column = columns_[index];
  if (column.chapter) return Variant(OpenClientRecordset(ChapterRows(index, row)));
  const CellKind kind = column.kind(row);
  if (kind == CellKind::kNull) return Variant::Null();
  switch (column.type) {
    case field_type::kSingle:
    case field_type::kDouble:
    case field_type::kNumeric:
      if (kind == CellKind::kInteger) return Variant(static_cast<double>(column.integer(row)));
      if (kind == CellKind::kText && column.type == field_type::kNumeric) {
        return AsNumeric(column, row);
      }
      break;
    case field_type::kCurrency:
      return AsCurrency(column, row);
    case field_type::kBoolean:
      if (kind == CellKind::kInteger) return Variant(column.integer(row) != 0);
      if (kind == CellKind::kReal) return Variant(column.real(row) != 0.0);
      break;
    case field_type::kDate:
      if (kind == CellKind::kText) {
        const std::string_view text = column.bytes(row);
        if (const std::optional<Date> date = ParseDate(text)) return Variant(*date);
        return Variant(text);
      }
      break;
    case field_type::kLongVarBinary:
      if (kind == CellKind::kText) return BytesOf(column.bytes(row));
      break;
    default:
      break;
  }
  return Plain(column, row);
}

RowView ResultTable::ChapterRows(std::size_t index, std::uint32_t row) const {
  const Chapter& chapter = *columns_[index].chapter;
  const std::uint32_t group = chapter.group_of_parent[row];
  RowView view;
  view.table = chapter.child;
  view.owner = columns_[index].chapter;
  if (group != Chapter::kNoGroup) {
    view.rows = chapter.child_rows.data() + chapter.group_begin[group];
    view.count = chapter.group_begin[group + 1] - chapter.group_begin[group];
  } else {
    view.rows = chapter.child_rows.data();  // an empty selection, not the whole table
    view.count = 0;
  }
  return view;
}

bool ResultTable::PeekText(std::size_t index, std::uint32_t row, std::string_view& text) const {
  const Column& column = columns_[index];
  if (column.chapter || column.kind(row) != CellKind::kText) return false;
  // The types whose texts Value reads as something else.
  switch (column.type) {
    case field_type::kCurrency:
    case field_type::kNumeric:
    case field_type::kDate:
    case field_type::kLongVarBinary:
      return false;
    default:
      text = column.bytes(row);
      return true;
  }
}

bool ResultTable::PeekNumber(std::size_t index, std::uint32_t row, PeekedNumber& number) const {
  const Column& column = columns_[index];
  if (column.chapter) return false;
  const CellKind kind = column.kind(row);
  if (kind != CellKind::kInteger && kind != CellKind::kReal) return false;
  // As Value shapes the cell: Currency columns give Currencies, Booleans are not numbers, and
  // every other number is read with the Double it gives.
  switch (column.type) {
    case field_type::kBoolean:
      return false;
    case field_type::kCurrency:
      number.scaled = StoredCurrency(column, row).scaled;
      number.is_currency = true;
      return true;
    default:
      number.is_currency = false;
      number.number =
          kind == CellKind::kInteger ? static_cast<double>(column.integer(row)) : column.real(row);
      return true;
  }
}

}  // namespace nimbo::db

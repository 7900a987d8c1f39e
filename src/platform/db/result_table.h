// The records of one query, held column by column as the back end fetched them: a storage-class
// tag and an 8-byte cell per value, texts and blobs in an arena. Variants are built only when a
// value is read, so that large results stay compact. Back-end neutral.
#ifndef NIMBO_SRC_PLATFORM_DB_RESULT_TABLE_H_
#define NIMBO_SRC_PLATFORM_DB_RESULT_TABLE_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/variant.h"
#include "platform/db/cell_peek.h"

namespace nimbo::db {

// Memory for the large pieces of a result. Pieces of kHugeBytes and more are aligned to it and
// offered to the kernel for huge pages: a million-row result then takes a few hundred page
// faults instead of tens of thousands.
inline constexpr std::size_t kHugeBytes = std::size_t{2} << 20;
void* AllocateLarge(std::size_t bytes);
struct LargeFree {
  void operator()(void* memory) const;
};
template <typename T>
using LargeArray = std::unique_ptr<T[], LargeFree>;
template <typename T>
LargeArray<T> MakeLargeArray(std::size_t count) {
  return LargeArray<T>(static_cast<T*>(AllocateLarge(count * sizeof(T))));
}

// How one value is stored. A column may mix them: the database decides per value.
enum class CellKind : std::uint8_t { kNull, kInteger, kReal, kText, kBlob };

// Bytes of texts and blobs, in fixed blocks that never move, so cells can point into them.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Copies `size` bytes in and returns a handle for View.
  const char* Store(const void* data, std::uint32_t size);
  // The bytes that storing `size` bytes takes.
  static constexpr std::uint64_t StoredSize(std::uint32_t size) { return sizeof size + size; }
  // The bytes stored under a handle.
  static std::string_view View(const char* handle) {
    std::uint32_t size;
    std::memcpy(&size, handle, sizeof size);
    return {handle + sizeof size, size};
  }

 private:
  // Blocks double from kFirstBlock up to kLastBlock, so a small result takes little.
  static constexpr std::size_t kFirstBlock = std::size_t{1} << 16;
  static constexpr std::size_t kLastBlock = std::size_t{4} << 20;

  std::vector<LargeArray<char>> blocks_;
  std::size_t block_size_ = kFirstBlock;
  char* next_ = nullptr;
  std::size_t left_ = 0;
};

// A column's cells: a sequence that grows by chunks of doubling size and never moves what it
// holds. A million-row result is then written once, not copied and faulted in again at every
// doubling as a vector's would be, and half as much is held while it grows.
template <typename T>
class CellStore {
 public:
  std::size_t size() const { return size_; }
  T operator[](std::size_t index) const {
    const Place at = Locate(index);
    return chunks_[at.chunk][at.offset];
  }
  void push_back(T value) {
    if (next_ == end_) {
      const std::size_t length = kFirstChunk << chunks_.size();
      chunks_.push_back(MakeLargeArray<T>(length));
      next_ = chunks_.back().get();
      end_ = next_ + length;
    }
    *next_++ = value;
    ++size_;
  }

 private:
  static constexpr std::size_t kFirstChunk = 64;
  struct Place {
    std::size_t chunk;
    std::size_t offset;
  };
  // Chunk k holds kFirstChunk << k cells from kFirstChunk * (2^k - 1) on.
  static Place Locate(std::size_t index) {
    const std::size_t units = index / kFirstChunk + 1;
    const std::size_t chunk = static_cast<std::size_t>(std::bit_width(units)) - 1;
    return {chunk, index - kFirstChunk * ((std::size_t{1} << chunk) - 1)};
  }

  std::vector<LargeArray<T>> chunks_;
  std::size_t size_ = 0;
  T* next_ = nullptr;  // where the next cell goes, in the last chunk
  T* end_ = nullptr;
};

class ResultTable;
struct RowView;

// The child records of a chapter field: which child rows belong to each parent row.
struct Chapter {
  static constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;

  std::shared_ptr<const ResultTable> child;
  // Per parent row, the group of child rows it relates to, or kNoGroup.
  std::vector<std::uint32_t> group_of_parent;
  // Group g holds child_rows[group_begin[g] .. group_begin[g + 1]).
  std::vector<std::uint32_t> group_begin;
  std::vector<std::uint32_t> child_rows;
};

struct Column {
  std::string name;
  int type = 0;  // field type code
  CellStore<CellKind> kinds;
  // Integer value, the bits of a double, or an arena handle, as the kind says.
  CellStore<std::uint64_t> cells;
  // Set for chapter fields (type 136), which have no cells of their own.
  std::shared_ptr<const Chapter> chapter;

  CellKind kind(std::uint32_t row) const { return kinds[row]; }
  std::int64_t integer(std::uint32_t row) const { return static_cast<std::int64_t>(cells[row]); }
  double real(std::uint32_t row) const {
    const std::uint64_t bits = cells[row];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::string_view bytes(std::uint32_t row) const {
    return Arena::View(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(cells[row])));
  }

  void AddNull() {
    kinds.push_back(CellKind::kNull);
    cells.push_back(0);
  }
  void AddInteger(std::int64_t value) {
    kinds.push_back(CellKind::kInteger);
    cells.push_back(static_cast<std::uint64_t>(value));
  }
  void AddReal(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    kinds.push_back(CellKind::kReal);
    cells.push_back(bits);
  }
  void AddBytes(CellKind kind, Arena& arena, const void* data, std::uint32_t size) {
    kinds.push_back(kind);
    cells.push_back(reinterpret_cast<std::uintptr_t>(arena.Store(data, size)));
  }
};

class ResultTable {
 public:
  ResultTable() = default;
  ResultTable(const ResultTable&) = delete;
  ResultTable& operator=(const ResultTable&) = delete;

  std::uint32_t row_count() const { return row_count_; }
  std::size_t column_count() const { return columns_.size(); }
  const Column& column(std::size_t index) const { return columns_[index]; }
  Column& column(std::size_t index) { return columns_[index]; }
  Arena& arena() { return arena_; }

  // Index of the first column with this name (letter case ignored), or -1.
  int FindColumn(std::string_view name) const;

  // Building: add the columns, fill their cells row by row, then fix the row count.
  Column& AddColumn(std::string name, int type);
  void set_row_count(std::uint32_t rows) { row_count_ = rows; }
  // Adds a chapter field over `chapter`, whose group_of_parent has one entry per row.
  void AddChapter(std::string name, std::shared_ptr<const Chapter> chapter);

  // The value of a cell as a Variant, shaped by the column's field type. A chapter cell gives
  // a new open record set of its child rows, which shares ownership of the chapter data.
  Variant Value(std::size_t column, std::uint32_t row) const;
  // The child rows of a chapter cell (a chapter column only).
  RowView ChapterRows(std::size_t column, std::uint32_t row) const;
  // The stored text of a cell that Value would give unchanged as a String; false for any other.
  bool PeekText(std::size_t column, std::uint32_t row, std::string_view& text) const;
  // The number of a cell that Value would give as a Byte, Integer, Long, Double or Currency;
  // false for any other.
  bool PeekNumber(std::size_t column, std::uint32_t row, PeekedNumber& number) const;

 private:
  std::vector<Column> columns_;
  Arena arena_;
  std::uint32_t row_count_ = 0;
};

// Letter-case-insensitive equality of ASCII names.
bool SameName(std::string_view a, std::string_view b);

// A decimal text as a database sends exact numbers ("-1234.5678", "42", "0.50") as an exact
// Currency; nullopt when the text is not of that form, has a non-zero digit past the fourth
// decimal, or is beyond Currency's range. Texts in Currency and Numeric columns are read this way,
// so exact amounts reach the record set without binary rounding.
std::optional<Currency> ExactCurrency(std::string_view text);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_RESULT_TABLE_H_

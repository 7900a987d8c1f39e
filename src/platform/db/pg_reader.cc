// PostgreSQL adapter: result columns into column storage.
#include "platform/db/pg_reader.h"

#include <charconv>
#include <limits>
#include <string>

#include "nimbo/error.h"
#include "nimbo/record_source.h"

namespace nimbo::db {
namespace {

// Type OIDs of the built-in types (pg_type.h), fixed since the first releases.
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kMoneyOid = 790;
constexpr Oid kBpcharOid = 1042;
constexpr Oid kVarcharOid = 1043;
constexpr Oid kDateOid = 1082;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kTimestamptzOid = 1184;
constexpr Oid kNumericOid = 1700;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int PgFieldType(Oid type) {
  switch (type) {
    case kInt2Oid:
      return field_type::kSmallInt;
    case kInt4Oid:
      return field_type::kInteger;
    case kInt8Oid:
      return field_type::kBigInt;
    case kFloat4Oid:
      return field_type::kSingle;
    case kFloat8Oid:
      return field_type::kDouble;
    case kMoneyOid:
      return field_type::kCurrency;
    case kNumericOid:
      return field_type::kNumeric;
    case kDateOid:
    case kTimestampOid:
    case kTimestamptzOid:
      return field_type::kDate;
    case kBoolOid:
      return field_type::kBoolean;
    case kByteaOid:
      return field_type::kLongVarBinary;
    case kTextOid:
    case kVarcharOid:
    case kBpcharOid:
    default:
      return field_type::kVarWChar;
  }
}

std::string PlainMoney(std::string_view text) {
  std::string plain;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') plain += text[i++];
  if (i < text.size() && text[i] == '$') ++i;
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigitChar(c)) {
      plain += c;
      digits = true;
    } else if (c == '.') {
      plain += c;
    } else if (c != ',') {
      return std::string(text);
    }
  }
  return digits ? plain : std::string(text);
}

std::string_view DateToSecond(std::string_view text) {
  // "YYYY-MM-DD HH:MM:SS" is 19 characters; anything after the seconds is a fraction or a zone.
  if (text.size() > 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':' &&
      IsDigitChar(text[17]) && IsDigitChar(text[18])) {
    return text.substr(0, 19);
  }
  return text;
}

PgTableBuilder::PgTableBuilder() : table_(std::make_shared<ResultTable>()) {}

void PgTableBuilder::SetColumns(const PGresult* result) {
  const int count = PQnfields(result);
  for (int c = 0; c < count; ++c) {
    const Oid type = PQftype(result, c);
    const char* name = PQfname(result, c);
    table_->AddColumn(name ? name : "", PgFieldType(type));
    Decode decode = Decode::kText;
    switch (type) {
      case kInt2Oid:
      case kInt4Oid:
      case kInt8Oid:
        decode = Decode::kInteger;
        break;
      case kFloat4Oid:
      case kFloat8Oid:
        decode = Decode::kReal;
        break;
      case kBoolOid:
        decode = Decode::kBoolean;
        break;
      case kNumericOid:
        decode = Decode::kDecimal;
        break;
      case kMoneyOid:
        decode = Decode::kMoney;
        break;
      case kDateOid:
      case kTimestampOid:
      case kTimestamptzOid:
        decode = Decode::kDate;
        break;
      case kByteaOid:
        decode = Decode::kBytea;
        break;
      case kTextOid:
      case kVarcharOid:
        if (const Oid table = PQftable(result, c); table != InvalidOid) {
          text_sources_.push_back({static_cast<std::size_t>(c), table, PQftablecol(result, c)});
        }
        break;
      default:
        break;
    }
    decode_.push_back(decode);
  }
  has_columns_ = true;
}

void PgTableBuilder::AddValue(Column& column, Decode decode, std::string_view text) {
  Arena& arena = table_->arena();
  auto add_text = [&](std::string_view value) {
    column.AddBytes(CellKind::kText, arena, value.data(), static_cast<std::uint32_t>(value.size()));
  };
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  switch (decode) {
    case Decode::kInteger: {
      std::int64_t value = 0;
      const auto [ptr, ec] = std::from_chars(begin, end, value);
      if (ec == std::errc() && ptr == end) return column.AddInteger(value);
      return add_text(text);
    }
    case Decode::kReal: {
      double value = 0;
      const auto [ptr, ec] = std::from_chars(begin, end, value);
      if (ec == std::errc() && ptr == end) return column.AddReal(value);
      return add_text(text);
    }
    case Decode::kBoolean:
      if (text == "t") return column.AddInteger(1);
      if (text == "f") return column.AddInteger(0);
      return add_text(text);
    case Decode::kDecimal:
      // Kept as its digits: the record set reads them exactly, with no binary rounding.
      return add_text(text);
    case Decode::kMoney:
      return add_text(PlainMoney(text));
    case Decode::kDate:
      return add_text(DateToSecond(text));
    case Decode::kBytea: {
      // The hex form ("\x0aff..."), which servers send unless bytea_output was changed; the
      // escape form would come back as its text.
      if (text.size() >= 2 && text[0] == '\\' && text[1] == 'x' && text.size() % 2 == 0) {
        std::string bytes;
        bytes.reserve((text.size() - 2) / 2);
        for (std::size_t i = 2; i < text.size(); i += 2) {
          const int high = HexDigit(text[i]);
          const int low = HexDigit(text[i + 1]);
          if (high < 0 || low < 0) return add_text(text);
          bytes.push_back(static_cast<char>(high << 4 | low));
        }
        return column.AddBytes(CellKind::kBlob, arena, bytes.data(),
                               static_cast<std::uint32_t>(bytes.size()));
      }
      return add_text(text);
    }
    case Decode::kText:
      return add_text(text);
  }
}

void PgTableBuilder::AddRows(const PGresult* result) {
  const int rows = PQntuples(result);
  const int columns = PQnfields(result);
  for (int r = 0; r < rows; ++r) {
    if (rows_ >= std::numeric_limits<std::uint32_t>::max() - 1) {
      throw Error(err::kProviderError, "The query returned too many records.");
    }
    for (int c = 0; c < columns && static_cast<std::size_t>(c) < decode_.size(); ++c) {
      Column& column = table_->column(static_cast<std::size_t>(c));
      if (PQgetisnull(result, r, c)) {
        column.AddNull();
        continue;
      }
      const std::string_view text(PQgetvalue(result, r, c),
                                  static_cast<std::size_t>(PQgetlength(result, r, c)));
      AddValue(column, decode_[static_cast<std::size_t>(c)], text);
    }
    ++rows_;
  }
}

std::shared_ptr<ResultTable> PgTableBuilder::Finish() {
  table_->set_row_count(rows_);
  return std::move(table_);
}

}  // namespace nimbo::db

// Reading cells without a Variant must agree with Value() for every stored kind in every
// declared type: a page written through the peeks has to be the page written through Value().
#include "platform/db/cell_peek.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/sqlite_fixture.h"

namespace nimbo {
namespace {

using ::nimbo::testing::FixtureDatabase;

// The values a number peek stands for: numbers, Booleans aside.
bool IsPeekableNumber(const Variant& value) {
  return value.IsNumber() && value.type() != VarType::kBoolean;
}

TEST(CellPeekTest, TextsAndNumbersAreWhatValueGives) {
  // Each declared type holds a whole number, a real, a text that reads as a number, a date
  // text, a plain text, a blob, a Null and numbers at the edges of a Currency.
  const std::vector<std::string> types = {"INTEGER", "BIGINT",  "REAL",   "CURRENCY",
                                          "NUMERIC", "DATE",    "TEXT",   "MEMO",
                                          "BLOB",    "BOOLEAN", "SINGLE", "unknown"};
  std::string sql = "CREATE TABLE t (";
  for (std::size_t i = 0; i < types.size(); ++i) {
    sql += (i ? ", c" : "c") + std::to_string(i) + " " + types[i];
  }
  sql += ");";
  const std::vector<std::string> stored = {"7",
                                           "-5000000000",
                                           "2.675",
                                           "'12.5'",
                                           "'2026-12-08'",
                                           "'Smith & Sons'",
                                           "x'00ff'",
                                           "NULL",
                                           "922337203685477",
                                           "-922337203685478",
                                           "1e300",
                                           "0.00005",
                                           "''",
                                           "'  padded  '"};
  for (const std::string& value : stored) {
    sql += "INSERT INTO t VALUES (";
    for (std::size_t i = 0; i < types.size(); ++i) sql += (i ? ", " : "") + value;
    sql += ");";
  }
  FixtureDatabase db(sql);
  auto rs = db.Open("SELECT * FROM t");
  for (std::size_t row = 0; row < stored.size(); ++row, rs->MoveNext()) {
    for (int i = 0; i < rs->Fields().Count(); ++i) {
      SCOPED_TRACE(types[static_cast<std::size_t>(i)] + " holding " + stored[row]);
      const Field& field = rs->Fields().Item(i);
      const auto* peek = dynamic_cast<const db::CellPeek*>(&field);
      ASSERT_NE(peek, nullptr);
      Variant value;
      int value_error = 0;
      try {
        value = field.Value();
      } catch (const Error& e) {
        value_error = e.number();
      }

      std::string_view text;
      // A text is peeked only where Value() gives it unchanged; texts that Value() may read
      // as something else (in number and date columns) are left to Value().
      if (peek->PeekText(text)) {
        ASSERT_EQ(value_error, 0);
        ASSERT_TRUE(value.IsString());
        EXPECT_EQ(text, value.str());
      } else if (value_error == 0 && value.IsString()) {
        const std::string& type = types[static_cast<std::size_t>(i)];
        EXPECT_TRUE(type == "CURRENCY" || type == "NUMERIC" || type == "DATE") << type;
      }

      db::PeekedNumber number;
      bool is_number = false;
      int peek_error = 0;
      try {
        is_number = peek->PeekNumber(number);
      } catch (const Error& e) {
        peek_error = e.number();
      }
      if (value_error != 0) {
        // A Currency beyond its range: the peek raises the same error.
        EXPECT_EQ(peek_error, value_error);
        continue;
      }
      EXPECT_EQ(peek_error, 0);
      EXPECT_EQ(is_number, IsPeekableNumber(value));
      if (!is_number) continue;
      EXPECT_EQ(number.is_currency, value.type() == VarType::kCurrency);
      if (number.is_currency) {
        EXPECT_EQ(number.scaled, value.currency().scaled);
      } else {
        EXPECT_EQ(number.number, value.ToDouble());
      }
    }
  }
}

TEST(CellPeekTest, AChapterShownAgainInPlaceHasEachParentsRows) {
  FixtureDatabase db(
      "CREATE TABLE parents (ID INTEGER, Name TEXT);"
      "INSERT INTO parents VALUES (1, 'one'), (2, 'none'), (3, 'three');"
      "CREATE TABLE children (ParentID INTEGER, Item TEXT);"
      "INSERT INTO children VALUES (1, 'a'), (3, 'b'), (1, 'c'), (3, 'd'), (3, 'e');");
  auto rs = db.Open(
      "SHAPE {SELECT ID, Name FROM parents ORDER BY ID} APPEND "
      "({SELECT ParentID, Item FROM children ORDER BY rowid} RELATE ID TO ParentID) AS Kids");
  const Field& kids = rs->Fields().Item("Kids");
  const auto* peek = dynamic_cast<const db::CellPeek*>(&kids);
  ASSERT_NE(peek, nullptr);
  std::shared_ptr<Recordset> reused;
  const Field* first_item = nullptr;
  for (; !rs->Eof(); rs->MoveNext()) {
    const std::shared_ptr<Recordset> fresh = kids.Value().object();
    ASSERT_TRUE(peek->PeekChapter(reused));
    ASSERT_NE(reused, nullptr);
    EXPECT_NE(reused, fresh);
    ASSERT_EQ(reused->RecordCount(), fresh->RecordCount());
    if (reused->RecordCount() == 0) {
      EXPECT_TRUE(reused->Eof());
      continue;
    }
    // The field objects stay the same from one parent to the next.
    if (first_item == nullptr) first_item = &reused->Fields().Item("Item");
    EXPECT_EQ(&reused->Fields().Item("Item"), first_item);
    for (; !fresh->Eof(); fresh->MoveNext(), reused->MoveNext()) {
      ASSERT_FALSE(reused->Eof());
      EXPECT_EQ(reused->Fields().Item("Item").Value(), fresh->Fields().Item("Item").Value());
    }
    EXPECT_TRUE(reused->Eof());
  }
  // Other fields are no chapters.
  std::shared_ptr<Recordset> none;
  rs->MoveFirst();
  EXPECT_FALSE(dynamic_cast<const db::CellPeek&>(rs->Fields().Item("Name")).PeekChapter(none));
  EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace nimbo

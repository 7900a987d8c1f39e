// The record source on real SQLite files: connections, record set reading and its errors,
// field types, procedure calls and the safety of their arguments, and the stream.
#include "nimbo/record_source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "testing/sqlite_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::CountRows;
using ::nimbo::testing::FixtureDatabase;
using ::nimbo::testing::MakeDatabase;
using ::nimbo::testing::ReadFile;
using ::nimbo::testing::TempDir;
using ::nimbo::testing::WriteFile;
using ::testing::HasSubstr;

// Runs `action` and returns the number of the nimbo::Error it raised (0 when it raised none).
int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// The description of the nimbo::Error that `action` raised ("" when none).
std::string DescriptionOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.description();
  }
  return "";
}

const char kCustomers[] =
    "CREATE TABLE customers (ID INTEGER PRIMARY KEY, Name TEXT, Region TEXT);"
    "INSERT INTO customers VALUES (1, 'Ann', 'North'), (2, 'Bob', 'South'), (3, 'Cy', 'North');";

// ---- Connections ----

TEST(ConnectionTest, OpensWithTheDataServiceText) {
  FixtureDatabase db(kCustomers);
  auto connection = CreateConnection();
  EXPECT_EQ(connection->State(), kStateClosed);
  // Keys in any case, blanks around keys and values, other keys ignored.
  connection->Open("Provider=Nimbo.SQLite.1; data SOURCE =  " + db.path().string() +
                   "  ;Persist Security Info=False");
  EXPECT_EQ(connection->State(), kStateOpen);
  EXPECT_EQ(ErrorOf([&] { connection->Open("Data Source=" + db.path().string()); }),
            err::kObjectOpen);
  connection->Close();
  EXPECT_EQ(connection->State(), kStateClosed);
  EXPECT_EQ(ErrorOf([&] { connection->Close(); }), err::kObjectClosed);
}

TEST(ConnectionTest, QuotedDataSourceKeepsSemicolonsAndBlanks) {
  TempDir dir;
  std::filesystem::create_directory(dir / "a; b");
  const auto path = dir.path() / "a; b" / "it's.db";
  MakeDatabase(path, "CREATE TABLE t (x);");
  auto connection = CreateConnection();
  connection->Open("Data Source='" + (dir.path() / "a; b").string() + "/it''s.db'; Mode=Read");
  EXPECT_EQ(connection->State(), kStateOpen);
}

TEST(ConnectionTest, RefusesWhatIsNotAnExistingDatabaseFileAndCreatesNothing) {
  FixtureDatabase db;  // an existing database that a URI could reach
  TempDir dir;
  WriteFile(dir / "notes.txt", "this is not a database, just some text that is long enough");
  const std::vector<std::string> texts = {
      "Data Source=" + (dir / "missing.db").string(),
      "Data Source=file:" + db.path().string(),
      "Data Source=file:" + (dir / "created.db").string() + "?mode=rwc",
      "Data Source=:memory:",
      "Data Source=",
      "Provider=Nimbo.SQLite.1",
      "Data Source=" + (dir / "notes.txt").string(),
      "Data Source=" + dir.path().string(),
      "Data Source",
      "=x",
      "Data Source='unterminated",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    auto connection = CreateConnection();
    EXPECT_EQ(ErrorOf([&] { connection->Open(text); }), err::kProviderError);
    EXPECT_EQ(connection->State(), kStateClosed);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.db"));
  EXPECT_FALSE(std::filesystem::exists(dir / "created.db"));
  EXPECT_FALSE(std::filesystem::exists("file:" + (dir / "created.db").string() + "?mode=rwc"));
  EXPECT_FALSE(std::filesystem::exists(":memory:"));
  EXPECT_THAT(DescriptionOf([&] { CreateConnection()->Open(texts[0]); }), HasSubstr("missing.db"));
}

// ---- Opening record sets ----

TEST(RecordsetTest, OpeningNeedsAnOpenConnectionAndAClosedRecordset) {
  FixtureDatabase db(kCustomers);
  auto recordset = CreateRecordset();
  EXPECT_EQ(ErrorOf([&] { recordset->Open("SELECT * FROM customers"); }), err::kObjectNotSet);
  EXPECT_EQ(recordset->State(), kStateClosed);

  auto closed = CreateConnection();
  recordset->ActiveConnection(closed);
  EXPECT_EQ(ErrorOf([&] { recordset->Open("SELECT * FROM customers"); }), err::kConnectionInvalid);

  recordset->ActiveConnection(db.connection());
  recordset->Open("SELECT * FROM customers");
  EXPECT_EQ(recordset->State(), kStateOpen);
  EXPECT_EQ(ErrorOf([&] { recordset->Open("SELECT * FROM customers"); }), err::kObjectOpen);
}

TEST(RecordsetTest, SettingsKeepTheirValuesAndAreCheckedAndFixedWhileOpen) {
  FixtureDatabase db(kCustomers);
  auto recordset = CreateRecordset();
  EXPECT_EQ(recordset->CursorLocation(), kUseServer);
  EXPECT_EQ(recordset->CursorType(), kOpenForwardOnly);
  EXPECT_EQ(recordset->LockType(), kLockReadOnly);
  EXPECT_EQ(ErrorOf([&] { recordset->CursorLocation(1); }), err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] { recordset->CursorType(4); }), err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] { recordset->LockType(0); }), err::kArgumentsWrongType);
  recordset->CursorLocation(kUseClient);
  EXPECT_EQ(recordset->CursorLocation(), kUseClient);
  recordset->ActiveConnection(db.connection());
  EXPECT_EQ(recordset->ActiveConnection(), db.connection());
  recordset->Open("SELECT * FROM customers");
  EXPECT_EQ(ErrorOf([&] { recordset->CursorLocation(kUseClient); }), err::kObjectOpen);
  EXPECT_EQ(ErrorOf([&] { recordset->CursorType(kOpenStatic); }), err::kObjectOpen);
  EXPECT_EQ(ErrorOf([&] { recordset->LockType(kLockReadOnly); }), err::kObjectOpen);
}

TEST(RecordsetTest, WalksForwardFromTheFirstRecordToEof) {
  FixtureDatabase db(kCustomers);
  auto rs = db.Open("SELECT ID, Name FROM customers ORDER BY ID");
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_FALSE(rs->Bof());
  std::vector<std::string> names;
  for (; !rs->Eof(); rs->MoveNext()) names.push_back(rs->Fields().Item("name").Value().str());
  EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Bob", "Cy"}));
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Fields().Item(0).Value(); }), err::kNoCurrentRecord);
  // Name and type need no current record.
  EXPECT_EQ(rs->Fields().Item(1).Name(), "Name");
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields().Item(0).Value(), Variant(std::int16_t{1}));
}

TEST(RecordsetTest, EmptyResultIsAtBofAndEofAndHasNoCurrentRecord) {
  FixtureDatabase db(kCustomers);
  auto rs = db.Open("SELECT * FROM customers WHERE ID > 99");
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(ErrorOf([&] { rs->MoveFirst(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->GetRows(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Fields().Item("ID").Value(); }), err::kNoCurrentRecord);
}

TEST(RecordsetTest, FieldsByIndexAndByNameRaiseNineOutOfRange) {
  FixtureDatabase db(kCustomers);
  auto rs = db.Open("SELECT ID, Name AS name, Region FROM customers");
  const Fields& fields = rs->Fields();
  ASSERT_EQ(fields.Count(), 3);
  EXPECT_EQ(&fields.Item("NAME"), &fields.Item(1));
  EXPECT_EQ(fields.Item("region").Name(), "Region");
  EXPECT_EQ(ErrorOf([&] { fields.Item(3); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { fields.Item(-1); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { fields.Item("Nam"); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { fields.Item(""); }), err::kSubscriptOutOfRange);
}

TEST(RecordsetTest, ClosedRecordsetRaises3704) {
  FixtureDatabase db(kCustomers);
  auto rs = db.Open("SELECT * FROM customers");
  const Field& id = rs->Fields().Item("ID");
  rs->Close();
  EXPECT_EQ(rs->State(), kStateClosed);
  const std::vector<std::function<void()>> actions = {
      [&] { rs->RecordCount(); },
      [&] { rs->MoveFirst(); },
      [&] { rs->MoveNext(); },
      [&] { rs->Eof(); },
      [&] { rs->Bof(); },
      [&] { rs->GetRows(); },
      [&] { rs->Fields().Count(); },
      [&] { rs->Fields().Item(0); },
      [&] { rs->Fields().Item("ID"); },
      [&] { id.Value(); },
      [&] { id.Name(); },
      [&] { rs->Close(); },
  };
  for (std::size_t i = 0; i < actions.size(); ++i) {
    EXPECT_EQ(ErrorOf(actions[i]), err::kObjectClosed) << "action " << i;
  }
}

TEST(RecordsetTest, ReadsOnAfterTheConnectionIsClosedAndGone) {
  FixtureDatabase db(kCustomers);
  auto connection = CreateConnection();
  connection->Open("Data Source=" + db.path().string());
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  rs->Open("SELECT Name FROM customers ORDER BY ID");
  connection->Close();
  rs->ActiveConnection(nullptr);
  connection.reset();
  std::filesystem::remove(db.path());  // the records live in the record set alone
  EXPECT_EQ(rs->RecordCount(), 3);
  rs->MoveNext();
  EXPECT_EQ(rs->Fields().Item(0).Value(), Variant("Bob"));
}

TEST(RecordsetTest, GetRowsTakesTheRecordsFromTheCurrentOneAndLeavesEof) {
  FixtureDatabase db(kCustomers);
  auto rs = db.Open("SELECT ID, Name, Region FROM customers ORDER BY ID");
  rs->MoveNext();
  const Rows rows = rs->GetRows();
  EXPECT_TRUE(rs->Eof());
  ASSERT_EQ(rows.field_count(), 3);
  ASSERT_EQ(rows.row_count(), 2);
  EXPECT_EQ(rows.UBound(1), 2);
  EXPECT_EQ(rows.UBound(2), 1);
  EXPECT_EQ(rows(0, 0), Variant(std::int16_t{2}));
  EXPECT_EQ(rows(1, 1), Variant("Cy"));
  EXPECT_EQ(rows(2, 1), Variant("North"));
  EXPECT_EQ(ErrorOf([&] { rows(3, 0); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { rows(0, 2); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { rows(-1, 0); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { rows.UBound(3); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { Rows()(0, 0); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { rs->GetRows(); }), err::kNoCurrentRecord);
}

// ---- Field types ----

struct TypeCase {
  std::string column;  // declared as in the fixture below
  int type;
  Variant value;
};

TEST(FieldTypeTest, DeclaredTypesGiveTheirCodesAndValues) {
  FixtureDatabase db(
      "CREATE TABLE typed (i INTEGER, n INT, s SMALLINT, t TINYINT, b BIGINT, r REAL,"
      " d DOUBLE, f FLOAT, g SINGLE, c CURRENCY, m money, de DECIMAL(10,2), nu NUMERIC,"
      " dt DATE, dtt DateTime, ts TIMESTAMP, tx TEXT, vc VARCHAR(20), ch CHAR(3), me MEMO,"
      " hl HYPERLINK, lt LONGTEXT, bl BLOB, im IMAGE, bo BOOLEAN, bi BIT, odd STRING,"
      " it INTEGER, rt REAL, tt TEXT);"
      "INSERT INTO typed VALUES (7, 100000, -5, 1, 5000000000, 1.5, 2, 0.25, 2.75, 49.9, 12,"
      " 3.25, 10, '2026-12-08', '2026-12-08 21:17:44', 'not a date', 'abc', 'x', 'abc',"
      " 'long text', 'Annual#a.htm#', 'more', x'00ff', x'89504e47', 1, 0, 2.5,"
      " 'seven', 'eight', 9);");
  auto rs = db.Open("SELECT * FROM typed");
  const std::vector<TypeCase> cases = {
      {"i", 3, Variant(std::int16_t{7})},
      {"n", 3, Variant(std::int32_t{100000})},
      {"s", 2, Variant(std::int16_t{-5})},
      {"t", 16, Variant(std::int16_t{1})},
      {"b", 20, Variant(5000000000.0)},
      {"r", 5, Variant(1.5)},
      {"d", 5, Variant(2.0)},
      {"f", 5, Variant(0.25)},
      {"g", 4, Variant(2.75)},
      {"c", 6, Variant(Currency{499000})},
      {"m", 6, Variant(Currency{120000})},
      {"de", 131, Variant(3.25)},
      {"nu", 131, Variant(10.0)},
      {"dt", 7, Variant(MakeDate(2026, 12, 8))},
      {"dtt", 7, Variant(MakeDate(2026, 12, 8, 21, 17, 44))},
      {"ts", 7, Variant("not a date")},  // a date text that does not parse stays text
      {"tx", 202, Variant("abc")},
      {"vc", 202, Variant("x")},
      {"ch", 202, Variant("abc")},
      {"me", 203, Variant("long text")},
      {"hl", 203, Variant("Annual#a.htm#")},
      {"lt", 203, Variant("more")},
      {"bl", 205, Variant(Bytes{0x00, 0xff})},
      {"im", 205, Variant(Bytes{0x89, 0x50, 0x4e, 0x47})},
      {"bo", 11, Variant(true)},
      {"bi", 11, Variant(false)},
      // An unknown declared type goes by what is stored; stored values that do not fit the
      // declared type come back as stored.
      {"odd", 5, Variant(2.5)},
      {"it", 3, Variant("seven")},
      {"rt", 5, Variant("eight")},
      {"tt", 202, Variant("9")},
  };
  ASSERT_EQ(rs->Fields().Count(), static_cast<int>(cases.size()));
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.column);
    const Field& field = rs->Fields().Item(c.column);
    EXPECT_EQ(field.Type(), c.type);
    EXPECT_EQ(field.Value(), c.value);
  }
}

TEST(FieldTypeTest, NullsStayNullWhateverTheType) {
  FixtureDatabase db(
      "CREATE TABLE typed (i INTEGER, c CURRENCY, dt DATE, bl BLOB, bo BOOLEAN);"
      "INSERT INTO typed VALUES (NULL, NULL, NULL, NULL, NULL);");
  auto rs = db.Open("SELECT * FROM typed");
  for (int i = 0; i < rs->Fields().Count(); ++i) {
    EXPECT_TRUE(rs->Fields().Item(i).Value().IsNull()) << i;
  }
}

TEST(FieldTypeTest, ExpressionsTakeTheTypeOfTheirFirstNonNullValue) {
  FixtureDatabase db;
  auto rs = db.Open(
      "WITH v(k, a) AS (VALUES (1, NULL), (2, 2.5), (3, 'x'))"
      " SELECT 1 + 1 AS e1, 1.5 * 2 AS e2, 'a' || 'b' AS e3, x'01' AS e4, NULL AS e5,"
      " a + 0 AS e6 FROM v ORDER BY k");
  const std::vector<int> expected = {3, 5, 202, 205, 202, 5};
  ASSERT_EQ(rs->Fields().Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(rs->Fields().Item(i).Type(), expected[i]) << i;
  EXPECT_EQ(rs->Fields().Item("e1").Value(), Variant(std::int16_t{2}));
  EXPECT_TRUE(rs->Fields().Item("e6").Value().IsNull());
}

// ---- Commands and procedures ----

TEST(CommandTest, ProceduresBindPositionalAndNamedArgumentsAndLeaveTheRestNull) {
  FixtureDatabase db(kCustomers);
  db.AddProcedure("echo3", "SELECT @a AS a, :b AS b, ?3 AS c");
  db.AddProcedure("xspb3",
                  "SELECT @I1 AS ID, 'x', 'y', CASE @I1 WHEN 1 THEN 'front' ELSE 'head' END");
  db.AddProcedure("ByRegion", "SELECT Name FROM customers WHERE Region = @r ORDER BY ID");

  auto rs = db.Open("EXEC echo3 1, 'two', 3.5");
  EXPECT_EQ(rs->Fields().Item("a").Value(), Variant(std::int16_t{1}));
  EXPECT_EQ(rs->Fields().Item("b").Value(), Variant("two"));
  EXPECT_EQ(rs->Fields().Item("c").Value(), Variant(3.5));

  rs = db.Open("exec ECHO3 'first'");
  EXPECT_EQ(rs->Fields().Item("a").Value(), Variant("first"));
  EXPECT_TRUE(rs->Fields().Item("b").Value().IsNull());
  EXPECT_TRUE(rs->Fields().Item("c").Value().IsNull());

  rs = db.Open("EXEC echo3 @A = 5");  // names are compared without regard to case
  EXPECT_EQ(rs->Fields().Item("a").Value(), Variant(std::int16_t{5}));
  EXPECT_TRUE(rs->Fields().Item("b").Value().IsNull());

  rs = db.Open("EXEC xspb3 @I1=2");
  EXPECT_EQ(rs->Fields().Item(3).Value(), Variant("head"));
  rs = db.Open("EXEC xspb3 @i1 = 1");
  EXPECT_EQ(rs->Fields().Item(3).Value(), Variant("front"));

  rs = db.Open("EXEC ByRegion 'North'");
  EXPECT_EQ(rs->RecordCount(), 2);
  rs = db.Open("EXEC ByRegion ");  // an empty macro: @r stays NULL and matches nothing
  EXPECT_EQ(rs->RecordCount(), 0);
}

TEST(CommandTest, RejectsCallsAndBodiesThatCannotRun) {
  FixtureDatabase db(kCustomers);
  db.AddProcedure("one", "SELECT @a AS a");
  db.AddProcedure("pair", "SELECT @a AS a, @b AS b");
  db.AddProcedure("writes", "DELETE FROM customers");
  db.AddProcedure("hidden_write", "WITH c AS (SELECT 1) DELETE FROM customers");
  db.AddProcedure("two", "SELECT 1; SELECT 2");
  db.AddProcedure("broken", "SELECT * FROM nowhere");
  db.AddProcedure("pragma", "PRAGMA table_info(customers)");
  struct Case {
    std::string command;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"EXEC nosuch", "Unknown procedure nosuch"},
      {"EXEC one 1, 2", "Procedure one has 1 parameter but was given 2 arguments"},
      {"EXEC one @b = 1", "Procedure one has no parameter @b"},
      {"EXEC pair 1, @a = 2", "Parameter @a of procedure pair is given twice"},
      {"EXEC one 'x", "unterminated string starting at position 10"},
      {"EXEC writes", "Procedure writes: the body is not a SELECT or WITH query or a SHAPE"},
      {"EXEC hidden_write", "Procedure hidden_write: only queries that read can be run."},
      {"EXEC two", "Procedure two: only one statement can be run"},
      {"EXEC broken", "Procedure broken: no such table: nowhere"},
      {"EXEC pragma", "Procedure pragma: the body is not a SELECT or WITH query"},
      {"DELETE FROM customers", "not an EXEC call, a SELECT or WITH query, or a SHAPE command"},
      {"SELECT 1; DROP TABLE customers", "only one statement can be run"},
      {std::string("SELECT 1;\0DROP TABLE customers", 30), "NUL"},
      {"", "not an EXEC call"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    auto rs = CreateRecordset();
    rs->ActiveConnection(db.connection());
    try {
      rs->Open(c.command);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
    EXPECT_EQ(rs->State(), kStateClosed);
  }
  EXPECT_EQ(CountRows(db.path(), "SELECT * FROM customers"), 3);
}

TEST(CommandTest, LeavesTheDatabaseFileUntouched) {
  FixtureDatabase db(kCustomers);
  db.AddProcedure("writes", "INSERT INTO customers VALUES (9, 'Zed', 'West')");
  const std::string before = ReadFile(db.path());
  {
    auto connection = CreateConnection();
    connection->Open("Data Source=" + db.path().string());
    auto rs = CreateRecordset();
    rs->ActiveConnection(connection);
    rs->Open("SELECT * FROM customers");
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { rs->Open("EXEC writes"); }), err::kCommandError);
    connection->Close();
  }
  EXPECT_EQ(ReadFile(db.path()), before);
  EXPECT_FALSE(std::filesystem::exists(db.path().string() + "-journal"));
  EXPECT_FALSE(std::filesystem::exists(db.path().string() + "-wal"));
}

TEST(CommandTest, DatabaseWithoutCatalogReportsTheUnknownProcedure) {
  TempDir dir;
  MakeDatabase(dir / "plain.db", kCustomers);
  auto connection = CreateConnection();
  connection->Open("Data Source=" + (dir / "plain.db").string());
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  EXPECT_THAT(DescriptionOf([&] { rs->Open("EXEC xspb1"); }), HasSubstr("Unknown procedure xspb1"));
}

TEST(CommandTest, ArgumentsArriveAsOneValueAndChangeNothing) {
  FixtureDatabase db("CREATE TABLE x (v TEXT); INSERT INTO x VALUES ('kept');");
  db.AddProcedure("echo",
                  "SELECT @v AS v, typeof(@v) AS t, length(CAST(@v AS BLOB)) AS n,"
                  " (SELECT count(*) FROM x) AS rows_of_x");
  const std::vector<std::string> payloads = {
      "'; DROP TABLE x; --",
      "x'); DELETE FROM x; SELECT ('",
      std::string("before\0after", 12),
      "\xff\xfe\xc3(\x80 not UTF-8",
      std::string(1 << 20, 'q') + "'" + std::string(100, 'z'),
  };
  for (const std::string& payload : payloads) {
    SCOPED_TRACE(payload.substr(0, 40));
    std::string call = "EXEC echo '";
    for (char c : payload) call += c == '\'' ? std::string("''") : std::string(1, c);
    call += "'";
    auto rs = db.Open(call);
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields().Item("t").Value(), Variant("text"));
    EXPECT_EQ(rs->Fields().Item("n").Value(),
              Variant::Whole(static_cast<std::int64_t>(payload.size())));
    const Variant value = rs->Fields().Item("v").Value();
    ASSERT_TRUE(value.IsString());
    EXPECT_EQ(value.str(), payload);
    EXPECT_EQ(rs->Fields().Item("rows_of_x").Value(), Variant(std::int16_t{1}));
  }
  // Text outside the quotes is never run either.
  EXPECT_EQ(ErrorOf([&] { db.Open("EXEC echo 1; DROP TABLE x"); }), err::kCommandError);
  EXPECT_EQ(CountRows(db.path(), "SELECT v FROM x WHERE v = 'kept'"), 1);
}

// ---- Stream ----

TEST(StreamTest, WritesBytesAndSavesThemRaw) {
  TempDir dir;
  const auto path = (dir / "pic1").string();
  auto stream = CreateStream();
  stream->Type(kTypeBinary);
  stream->Open();
  EXPECT_EQ(stream->State(), kStateOpen);
  stream->Write(Variant(Bytes{0x89, 'P', 0x00, '\r', '\n'}));
  stream->Write(Variant(Bytes{0xff}));
  stream->SaveToFile(path, kSaveCreateOverWrite);
  EXPECT_EQ(ReadFile(path), std::string("\x89P\0\r\n\xff", 6));
  stream->Close();

  // Overwriting replaces the whole file, even with fewer bytes.
  stream->Open();
  stream->Write(Variant(Bytes{'a'}));
  stream->SaveToFile(path, kSaveCreateOverWrite);
  EXPECT_EQ(ReadFile(path), "a");
  // Create-not-exist fails on an existing file and leaves it alone, and works on a new one.
  stream->Write(Variant(Bytes{'b'}));
  EXPECT_EQ(ErrorOf([&] { stream->SaveToFile(path, kSaveCreateNotExist); }),
            err::kWriteToFileFailed);
  EXPECT_EQ(ReadFile(path), "a");
  stream->SaveToFile((dir / "new").string(), kSaveCreateNotExist);
  EXPECT_EQ(ReadFile(dir / "new"), "ab");
  stream->Close();
}

TEST(StreamTest, RefusesWhatItCannotWrite) {
  TempDir dir;
  auto stream = CreateStream();
  EXPECT_EQ(stream->Type(), kTypeText);
  EXPECT_EQ(ErrorOf([&] { stream->Type(3); }), err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] { stream->Write(Variant(Bytes{1})); }), err::kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { stream->Close(); }), err::kObjectClosed);
  stream->Open();
  EXPECT_EQ(ErrorOf([&] { stream->Write(Variant(Bytes{1})); }), err::kNotAllowedInContext);
  EXPECT_EQ(ErrorOf([&] { stream->Type(kTypeBinary); }), err::kObjectOpen);
  EXPECT_EQ(ErrorOf([&] { stream->Open(); }), err::kObjectOpen);
  stream->Close();
  stream->Type(kTypeBinary);
  stream->Open();
  EXPECT_EQ(ErrorOf([&] { stream->Write(Variant::Null()); }), err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] { stream->Write(Variant("text")); }), err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] { stream->SaveToFile((dir / "x").string(), 3); }),
            err::kArgumentsWrongType);
  EXPECT_EQ(ErrorOf([&] {
              stream->SaveToFile((dir / "no" / "such" / "folder").string(), kSaveCreateOverWrite);
            }),
            err::kWriteToFileFailed);
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));
}

}  // namespace
}  // namespace nimbo

// Write-ahead-log (WAL) databases on real files: a reader leaves no -wal or -shm files of its own
// behind, never those of another program that is writing, reads that program's committed changes,
// and reads a WAL database in a folder that cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/read_only_folder.h"
#include "testing/sqlite_fixture.h"
#include "testing/sqlite_peer.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

namespace fs = std::filesystem;
using ::nimbo::testing::CountRows;
using ::nimbo::testing::MakeDatabase;
using ::nimbo::testing::ReadOnlyFolder;
using ::nimbo::testing::SqlitePeer;
using ::nimbo::testing::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const char kWalShop[] =
    "PRAGMA journal_mode=WAL; CREATE TABLE t (v INTEGER); INSERT INTO t VALUES (1);";

// The names of the files in a folder, sorted.
std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::shared_ptr<Connection> Connect(const fs::path& database) {
  auto connection = CreateConnection();
  connection->Open("Data Source=" + database.string());
  return connection;
}

// The number of records the query returns through the connection.
int Count(const std::shared_ptr<Connection>& connection, const std::string& query) {
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  rs->Open(query);
  return rs->RecordCount();
}

TEST(WalDatabaseTest, AReaderLeavesNoFilesBesideTheDatabase) {
  for (const bool close : {true, false}) {
    SCOPED_TRACE(close ? "closed" : "dropped");
    TempDir dir;
    MakeDatabase(dir / "shop.db", kWalShop);
    ASSERT_THAT(Files(dir.path()), ElementsAre("shop.db"));

    auto connection = Connect(dir / "shop.db");
    auto rs = CreateRecordset();
    rs->ActiveConnection(connection);
    rs->Open("SELECT v FROM t");
    rs->ActiveConnection(nullptr);
    EXPECT_THAT(connection->Warnings(), IsEmpty());
    if (close) {
      connection->Close();
    } else {
      connection.reset();
    }
    EXPECT_THAT(Files(dir.path()), ElementsAre("shop.db"));
    EXPECT_EQ(rs->Fields().Item(0).Value().ToLong(), 1);
  }
}

// Another program writes the database and keeps it open, with its changes still in the log
// (no automatic checkpoint). The reader must see every committed change, and must not take the
// log and its index away when it closes, whether they were there before it or it made them.
TEST(WalDatabaseTest, AnotherProgramsChangesAreReadAndItsLogStays) {
  for (const bool reader_first : {false, true}) {
    SCOPED_TRACE(reader_first ? "the reader opened first" : "the writer opened first");
    TempDir dir;
    const fs::path path = dir / "shop.db";
    MakeDatabase(path, kWalShop);
    std::shared_ptr<Connection> reader;
    if (reader_first) reader = Connect(path);
    SqlitePeer writer(path);
    ASSERT_EQ(writer.Run("PRAGMA wal_autocheckpoint=0"), "ok");
    ASSERT_EQ(writer.Run("INSERT INTO t VALUES (2)"), "ok");
    if (!reader_first) reader = Connect(path);

    EXPECT_EQ(Count(reader, "SELECT v FROM t"), 2);
    ASSERT_EQ(writer.Run("INSERT INTO t VALUES (3)"), "ok");
    EXPECT_EQ(Count(reader, "SELECT v FROM t"), 3);  // a later read sees later changes
    reader->Close();
    reader.reset();

    EXPECT_THAT(Files(dir.path()), ElementsAre("shop.db", "shop.db-shm", "shop.db-wal"));
    EXPECT_GT(fs::file_size(dir / "shop.db-wal"), 0u);
    ASSERT_EQ(writer.Run("INSERT INTO t VALUES (4)"), "ok");
    writer.Close();
    EXPECT_EQ(CountRows(path, "SELECT v FROM t"), 4);
  }
}

// A database in a folder that cannot be written, as another program left it. Where a WAL
// database cannot be opened the usual way it is read as an unchanging file, with a warning,
// unless a log beside it holds changes that reading the file alone would miss.
TEST(WalDatabaseTest, ReadsADatabaseInAFolderThatCannotBeWritten) {
  enum class Log { kNone, kEmpty, kWithIndex, kWithoutIndex };
  const struct {
    const char* label;
    bool wal;
    Log log;
    int rows;  // 0: opening fails
    bool warned;
  } cases[] = {
      {"WAL database alone", true, Log::kNone, 1, true},
      {"WAL database and an empty log", true, Log::kEmpty, 1, true},
      {"WAL database, log and index", true, Log::kWithIndex, 2, false},
      {"WAL database, log without index", true, Log::kWithoutIndex, 0, false},
      {"rollback-journal database", false, Log::kNone, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ReadOnlyFolder folder;
    if (!folder.why_not().empty()) GTEST_SKIP() << folder.why_not();
    const fs::path path = folder / "shop.db";
    {
      // The files as a writer leaves them while it is open: row 2 is still in its log.
      TempDir staging;
      MakeDatabase(staging / "shop.db",
                   c.wal ? kWalShop : "CREATE TABLE t (v); INSERT INTO t VALUES (1);");
      SqlitePeer writer(staging / "shop.db");
      if (c.log == Log::kWithIndex || c.log == Log::kWithoutIndex) {
        ASSERT_EQ(writer.Run("PRAGMA wal_autocheckpoint=0"), "ok");
        ASSERT_EQ(writer.Run("INSERT INTO t VALUES (2)"), "ok");
        fs::copy_file(staging / "shop.db-wal", folder / "shop.db-wal");
      }
      if (c.log == Log::kWithIndex) fs::copy_file(staging / "shop.db-shm", folder / "shop.db-shm");
      if (c.log == Log::kEmpty) testing::WriteFile(folder / "shop.db-wal", "");
      fs::copy_file(staging / "shop.db", path);
    }
    const std::vector<std::string> before = Files(folder.path());
    folder.Seal();

    auto connection = CreateConnection();
    if (c.rows == 0) {
      try {
        connection->Open("Data Source=" + path.string());
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kProviderError);
        EXPECT_THAT(e.description(), HasSubstr("the changes in its write-ahead log " +
                                               path.string() + "-wal cannot be read"));
      }
      continue;
    }
    connection->Open("Data Source=" + path.string());
    EXPECT_EQ(Count(connection, "SELECT v FROM t"), c.rows);
    if (c.warned) {
      EXPECT_THAT(connection->Warnings(),
                  ElementsAre("The database " + path.string() +
                              " is in a folder that cannot be written, so it is read as an "
                              "unchanging file: changes another program makes to it are not "
                              "seen"));
    } else {
      EXPECT_THAT(connection->Warnings(), IsEmpty());
    }
    connection->Close();
    EXPECT_EQ(Files(folder.path()), before);
  }
}

}  // namespace
}  // namespace nimbo

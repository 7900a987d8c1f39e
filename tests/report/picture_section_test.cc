// The picture record section on real SQLite record sets: the worked example byte for byte with
// the picture file compared byte for byte, which fields count as pictures, and the error paths
// that leave the page untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "report/section_writers.h"
#include "report_fixture.h"

namespace nimbo {
namespace {

using Lines = std::vector<std::string>;
using testing::ReadFile;

// Picture bytes that a text file would mangle: a NUL, a CR LF, bytes above 127.
constexpr char kPhotoHex[] = "89504E470D0A1A0A0000FF7F0D0A";
constexpr char kLogoHex[] = "474946383961FF00";

const std::string kPhoto("\x89PNG\r\n\x1a\n\0\0\xff\x7f\r\n", 14);
const std::string kLogo("GIF89a\xff\0", 8);
const std::string kNul(1, '\0');

const std::string kData = std::string(
                              "CREATE TABLE products (ID INTEGER, IMGPhoto BLOB, imgLogo IMAGE,"
                              " Name TEXT, Price CURRENCY, Image TEXT);"
                              "INSERT INTO products VALUES (5, X'") +
                          kPhotoHex + "', X'" + kLogoHex +
                          "', 'Chair', 49.9, 'front.jpg'),"
                          " (6, NULL, X'00', '<b>Desk</b> & co', 120, NULL);";

class PictureSectionTest : public testing::ReportTest {
 protected:
  PictureSectionTest() : ReportTest(kData) {}

  std::string Write(const std::string& sql, const std::string& title, std::int32_t section,
                    std::int16_t form) {
    return WriteSection(sql, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
      WritePictureSection(s(), page, rs, title, section, form);
    });
  }
  std::filesystem::path Picture() const { return db_.dir() / "pic1"; }
};

TEST_F(PictureSectionTest, WorkedExample) {
  EXPECT_EQ(Write("SELECT ID, IMGPhoto, Name, Price FROM products WHERE ID = 5", "Product", 8, 0),
            "<p id='TTL008' class=ph><img src='circle.gif'>  Product<table id='TBL008' border=1 "
            "width=100%><TR><TD VALIGN=TOP WIDTH=40% ROWSPAN=3><IMG SRC='pic1' WIDTH=100%></TD>"
            "<td class=hn>ID: </td><td class=hvr>5</td><tr><td class=hn>Name: </td>"
            "<td class=hvl>Chair</td><tr><td class=hn>Price: </td><td class=hvr>49.90</td><tr>"
            "</table><br>\r\n");
  EXPECT_EQ(ReadFile(Picture()), kPhoto);
  EXPECT_TRUE(events().empty());
}

TEST_F(PictureSectionTest, WhichFieldsArePictures) {
  const std::string table = "<table id='TBL008' border=1 width=100%>";
  const std::string cell =
      "<TR><TD VALIGN=TOP WIDTH=40% ROWSPAN=3><IMG SRC='pic1' WIDTH=100%></TD>";
  const struct {
    const char* what;
    const char* sql;
    std::int16_t form;
    std::string want;
    const std::string* picture;  // what pic1 holds afterwards; null: no file
  } cases[] = {
      {"no picture field: no cell, no <TR>, every field still ends in <tr>",
       "SELECT ID, Name FROM products WHERE ID = 5", 0,
       table + "<td class=hn>ID: </td><td class=hvr>5</td><tr><td class=hn>Name: </td>"
               "<td class=hvl>Chair</td><tr>",
       nullptr},
      {"'Image' is no picture field", "SELECT Image, Name FROM products WHERE ID = 5", 0,
       table + "<td class=hn>Image: </td><td class=hvl>front.jpg</td><tr><td class=hn>Name: </td>"
               "<td class=hvl>Chair</td><tr>",
       nullptr},
      {"two picture fields: two cells, pic1 holds the second",
       "SELECT IMGPhoto, Name, imgLogo, Price FROM products WHERE ID = 5", 0,
       table + cell + cell +
           "<td class=hn>Name: </td><td class=hvl>Chair</td><tr><td class=hn>Price: </td>"
           "<td class=hvr>49.90</td><tr>",
       &kLogo},
      {"the entry form link as in the record form",
       "SELECT ID, IMGPhoto, Name, 'x' AS \" Note \" FROM products WHERE ID = 5", 3,
       table + cell +
           "<td class=hn>ID: </td><td class=hvr><a href='^000030000000005'>Click to Open Entry "
           "Form . . .</a></td><tr><td class=hn>Name: </td><td class=hvl>Chair</td><tr>"
           "<td class=hn>Note: </td><td class=hvl>x</td><tr>",
       &kPhoto},
      {"a picture as the only field spans no rows", "SELECT IMGPhoto FROM products WHERE ID = 5", 0,
       table + "<TR><TD VALIGN=TOP WIDTH=40% ROWSPAN=0><IMG SRC='pic1' WIDTH=100%></TD>", &kPhoto},
      {"values are escaped, the first record only",
       "SELECT ID, Name, imgLogo FROM products "
       "ORDER BY ID DESC",
       0,
       table + "<TR><TD VALIGN=TOP WIDTH=40% ROWSPAN=2><IMG SRC='pic1' WIDTH=100%></TD>"
               "<td class=hn>ID: </td><td class=hvr>6</td><tr><td class=hn>Name: </td>"
               "<td class=hvl>&lt;b&gt;Desk&lt;/b&gt; &amp; co</td><tr>",
       &kNul},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(Picture());
    EXPECT_EQ(Write(c.sql, "", 8, c.form), c.want + "</table><br>\r\n") << c.what;
    if (c.picture == nullptr) {
      EXPECT_FALSE(std::filesystem::exists(Picture())) << c.what;
    } else {
      EXPECT_EQ(ReadFile(Picture()), *c.picture) << c.what;
    }
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(PictureSectionTest, AFailedSaveWritesNothingAndKeepsAnEarlierPicture) {
  // The second picture field is null: the first was saved before the stream refused it.
  EXPECT_EQ(Write("SELECT ID, imgLogo, IMGPhoto, Name FROM products WHERE ID = 6", "Product", 8, 0),
            "");
  EXPECT_EQ(ReadFile(Picture()), kNul);
  ASSERT_EQ(events().size(), 1u);
  EXPECT_TRUE(events()[0].starts_with("BlaBla|Error: 3001, ")) << events()[0];

  // A folder that cannot take the file: the classic description, then the path and the reason.
  b_.events->lines.clear();
  b_.control.ApplicationFolder((db_.dir() / "missing").string());
  EXPECT_EQ(Write("SELECT ID, IMGPhoto FROM products WHERE ID = 5", "Product", 8, 0), "");
  EXPECT_EQ(events(), (Lines{"BlaBla|Error: 3004, Write to file failed.",
                             "BlaBla|" + (db_.dir() / "missing" / "pic1").string() +
                                 ": cannot write (No such file or directory)"}));
}

// On a full disk the picture cannot be saved: the section writes nothing, and the earlier
// picture stays whole for the page that shows it.
TEST_F(PictureSectionTest, AFullDiskKeepsTheEarlierPictureWhole) {
  testing::ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  testing::WriteFile(disk / "pic1", kLogo);
  disk.Fill();
  b_.control.ApplicationFolder(disk.path().string());
  EXPECT_EQ(Write("SELECT ID, IMGPhoto FROM products WHERE ID = 5", "Product", 8, 0), "");
  EXPECT_EQ(ReadFile(disk / "pic1"), kLogo);
  EXPECT_EQ(testing::FileNames(disk.path()), (Lines{"filler", "pic1"}));
  ASSERT_EQ(events().size(), 2u);
  EXPECT_EQ(events()[0], "BlaBla|Error: 3004, Write to file failed.");
  EXPECT_EQ(events()[1], "BlaBla|" + (disk / "pic1").string() +
                             ": cannot write (No space left on device)");
}

TEST_F(PictureSectionTest, QuietAndErrorPathsAsInTheRecordForm) {
  EXPECT_EQ(Write("SELECT * FROM products WHERE ID = 0", "Product:", 8, 0), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Product:"});

  b_.events->lines.clear();
  auto uncountable =
      std::make_shared<testing::RecordCountOverride>(Open("SELECT * FROM products"), -1);
  EXPECT_EQ(WriteSection(uncountable,
                         [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
                           WritePictureSection(s(), page, rs, "Product", 8, 0);
                         }),
            "");
  EXPECT_FALSE(std::filesystem::exists(Picture()));
  EXPECT_TRUE(events().empty());

  // No record set (the read failed), and a title to complete without a selected node.
  EXPECT_EQ(Write("", "Product", 8, 0), "");
  SelectNothing();
  EXPECT_EQ(Write("SELECT ID, IMGPhoto FROM products WHERE ID = 5", "Product:", 8, 0), "");
  EXPECT_EQ(events(), (Lines{"BlaBla|Error: 91, Object variable or With block variable not set",
                             "BlaBla|Error: 91, Object variable or With block variable not set"}));
}

TEST_F(PictureSectionTest, TheRecordSetStaysOnItsFirstRecord) {
  std::shared_ptr<Recordset> rs = Open("SELECT ID, IMGPhoto FROM products ORDER BY ID");
  WriteSection(rs, [&](TextFileWriter& page, std::shared_ptr<Recordset>& r) {
    WritePictureSection(s(), page, r, "", 8, 0);
  });
  EXPECT_EQ(rs->Fields().Item("ID").Value().ToLong(), 5);
}

}  // namespace
}  // namespace nimbo

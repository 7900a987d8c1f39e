// Tests of report cell formatting: the tags, the field type groups, safe hyperlink markup for
// memo fields, HTML escaping and the null helpers.
#include "report/value_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/format.h"
#include "report/html_escape.h"

namespace nimbo {
namespace {

struct FormatCase {
  Variant value;
  const char* tag;
  const char* date_format;
  const char* want;
};

TEST(FormatValueTest, FormatsByTag) {
  const Date when = MakeDate(2026, 12, 8, 21, 17, 44);
  const std::vector<FormatCase> cases = {
      // Null is "." whatever the tag.
      {Variant::Null(), "Dbl", "", "."},
      {Variant::Null(), "Int", "", "."},
      {Variant::Null(), "Dte", "dd Mmm yyyy", "."},
      {Variant::Null(), "Htm", "", "."},
      {Variant::Null(), " ", "", "."},
      // Trimming; unknown and wrongly cased tags leave the text alone.
      {"  ABC  ", " ", "", "ABC"},
      {5.0, "dbl", "", "5"},
      {std::int16_t{5}, "DBL", "", "5"},
      {1234.5, "", "", "1234.5"},
      {"  12.50 ", "x", "", "12.50"},
      // Amounts.
      {1234.5, "Dbl", "", "1,234.50"},
      {99.999, "Dbl", "", "100.00"},
      {0.0, "Dbl", "", "0.00"},
      {-1234.5, "Dbl", "", "-1,234.50"},
      {std::int32_t{1234567}, "Dbl", "", "1,234,567.00"},
      {Currency{12345678}, "Dbl", "", "1,234.57"},
      {"12.5", "Dbl", "", "12.50"},
      {"  12.5  ", "Dbl", "", "12.50"},
      {"n/a", "Dbl", "", "n/a"},
      {"  n/a  ", "Dbl", "", "n/a"},
      {true, "Dbl", "", "True"},
      // Whole numbers.
      {1234.4, "Int", "", "1,234"},
      {0.0, "Int", "", "0"},
      {2.75, "Int", "", "3"},
      {"-1234.5", "Int", "", "-1,235"},
      {"n/a", "Int", "", "n/a"},
      // Dates.
      {when, "Dte", "dd Mmm yyyy", "08 Dec 2026"},
      {when, "Dte", "Dddd, dd Mmm yyyy hh:nn:ss AMPM", "Tuesday, 08 Dec 2026 09:17:44 PM"},
      {when, "Dte", "", "12/8/2026 9:17:44 PM"},
      {" 2026-12-08 21:17:44 ", "Dte", "dd Mmm yyyy", "08 Dec 2026"},
      {" 2026-12-08 ", "Dte", "", "2026-12-08"},
      {46364.0, "Dte", "dd Mmm yyyy", "08 Dec 2026"},
      {46364.0, "Dte", "", "46364"},
      {1e10, "Dte", "dd Mmm yyyy", "10000000000"},
      {"soon", "Dte", "dd Mmm yyyy", "soon"},
      // An empty text stays empty for every tag.
      {"", "Dbl", "", ""},
      {"   ", "Int", "", ""},
      {"", "Dte", "dd Mmm yyyy", ""},
      {"  ", "Htm", "", ""},
      {"", " ", "", ""},
      {Variant(), "Dbl", "", ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(std::string("tag '") + c.tag + "' want " + c.want);
    EXPECT_EQ(FormatValue(c.value, c.tag, c.date_format), c.want);
  }
}

TEST(FormatValueTest, FollowsTheRegionalSettings) {
  RegionalSettings german;
  german.decimal = ",";
  german.grouping = ".";
  SetRegionalSettings(german);
  EXPECT_EQ(FormatValue(1234.5, "Dbl", ""), "1.234,50");
  EXPECT_EQ(FormatValue(1234567.0, "Int", ""), "1.234.567");
  SetRegionalSettings(RegionalSettings());
}

// Bytes are shown as binary whatever the field's tag: never raw, never read as a number, a date
// or a link. Short ones in hexadecimal, long ones by their size.
TEST(FormatValueTest, BytesShowAsBinaryUnderEveryTag) {
  const struct {
    Bytes bytes;
    const char* want;
  } cases[] = {
      {{}, ""},
      {{0x00}, "0x00"},
      {{'1', '2'}, "0x3132"},  // digits as bytes are still bytes
      {{0x0D, 0x0A, 0xFF, 0x3C}, "0x0D0AFF3C"},
      {Bytes(16, 0xAB), "0xABABABABABABABABABABABABABABABAB"},
      {Bytes(17, 0xAB), "(binary data, 17 bytes)"},
      {Bytes(1234567, 0), "(binary data, 1,234,567 bytes)"},
  };
  for (const auto& c : cases) {
    for (const char* tag : {"Dbl", "Int", "Dte", "Htm", " "}) {
      SCOPED_TRACE(std::string(tag) + " " + c.want);
      EXPECT_EQ(FormatValue(Variant(c.bytes), tag, "dd Mmm yyyy"), c.want);
    }
  }
}

TEST(FormatValueTest, AnObjectReachesTheCaller) {
  EXPECT_THROW(FormatValue(Variant(std::shared_ptr<Recordset>()), " ", ""), Error);
}

TEST(FormatValueTest, HyperlinksBecomeLinks) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"Annual report#reports/annual.htm#", "<a href='reports/annual.htm'>Annual report</a>"},
      {"Text#addr#", "<a href='addr'>Text</a>"},
      {"Text#addr#sub#tip", "<a href='addr'>Text</a>"},
      {"#addr#", "<a href='addr'></a>"},
      {"  Text#addr#  ", "<a href='addr'>Text</a>"},
      {"Site#http://example.com/a?b=1&c=2#", "<a href='http://example.com/a?b=1&amp;c=2'>Site</a>"},
      {"Site#HTTPS://example.com/#", "<a href='HTTPS://example.com/'>Site</a>"},
      {"Mail#mailto:sales@example.com#", "<a href='mailto:sales@example.com'>Mail</a>"},
      {"Top#/index.htm#", "<a href='/index.htm'>Top</a>"},
      {"Up#../up.htm#", "<a href='../up.htm'>Up</a>"},
      {"Anchor#?page=2#", "<a href='?page=2'>Anchor</a>"},
      {"At noon#agenda.htm?t=12:00#", "<a href='agenda.htm?t=12:00'>At noon</a>"},
      {"Text##", "<a href=''>Text</a>"},
      {"<b>Bold</b> & \"co\"#a'b.htm#",
       "<a href='a&#39;b.htm'>&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;co&quot;</a>"},
      {"Quote#x' onmouseover='alert(1)#", "<a href='x&#39; onmouseover=&#39;alert(1)'>Quote</a>"},
      // Fewer than two "#": the text, escaped.
      {"Annual report#reports/annual.htm", "Annual report#reports/annual.htm"},
      {"Plain text", "Plain text"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a & b#c", "a &amp; b#c"},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FormatValue(text, "Htm", ""), want);
  }
  EXPECT_EQ(FormatValue(5.0, "Htm", ""), "5");
}

TEST(FormatValueTest, HostileAddressesGiveEscapedTextWithoutALink) {
  const std::vector<std::string> addresses = {
      "javascript:alert(1)",
      "JavaScript:alert(1)",
      "JAVASCRIPT:alert(document.cookie)",
      " javascript:alert(1)",
      "\tjavascript:alert(1)",
      "\x01javascript:alert(1)",
      "java\tscript:alert(1)",
      "java\nscript:alert(1)",
      "java\rscript:alert(1)",
      "java script:alert(1)",
      std::string("java\0script:alert(1)", 20),
      "javascript\t:alert(1)",
      "javascript :alert(1)",
      "javascript&#58;alert(1)",
      "javascript&#x3A;alert(1)",
      "javascript&colon;alert(1)",
      "&#106;avascript:alert(1)",
      "jav&#x09;ascript:alert(1)",
      "jav&Tab;ascript:alert(1)",
      "vbscript:msgbox(1)",
      "VBScript:msgbox(1)",
      "data:text/html;base64,PHNjcmlwdD5hbGVydCgxKTwvc2NyaXB0Pg==",
      "DATA:text/html,<script>alert(1)</script>",
      "file:///etc/passwd",
      "FILE://server/share",
      "c:\\windows\\win.ini",
      "//evil.example/x",
      "\\\\evil.example\\share",
      "/\\evil.example",
      "ht\x7Ftp://example.com",
      "j\xD0\xB0vascript:alert(1)",  // a Cyrillic letter inside the scheme
      "about:blank",
      "ms-settings:privacy",
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    const std::string text = "Click#" + address + "#";
    const std::string got = FormatValue(Variant(text), "Htm", "");
    EXPECT_EQ(got.find("<a"), std::string::npos);
    EXPECT_EQ(got, HtmlEscape(text));
  }
}

TEST(FieldGroupTest, TypeCodesSelectTheirGroup) {
  const std::vector<std::pair<FieldGroup, std::vector<int>>> groups = {
      {kFloating, {5, 6, 14, 131, 139}},
      {kWhole, {2, 3, 4, 16, 17, 18, 19, 20, 21}},
      {kDate, {7, 64, 133, 134, 135}},
      {kMemo, {203}},
      {kOther, {0, 1, 8, 11, 72, 128, 129, 130, 136, 200, 201, 202, 204, 205, -1}},
  };
  for (const auto& [group, codes] : groups) {
    for (int code : codes) {
      SCOPED_TRACE(code);
      EXPECT_EQ(GroupOfType(code), group);
    }
  }
  EXPECT_EQ(TagOf(kFloating), "Dbl");
  EXPECT_EQ(TagOf(kWhole), "Int");
  EXPECT_EQ(TagOf(kDate), "Dte");
  EXPECT_EQ(TagOf(kMemo), "Htm");
  EXPECT_EQ(TagOf(kOther), " ");
  // A single-precision field holding 2.75 shows as a whole number.
  EXPECT_EQ(FormatValue(2.75, TagOf(GroupOfType(4)), ""), "3");
}

TEST(NullHelpersTest, NullToZeroAndNullToInt) {
  EXPECT_EQ(NullToZero(Variant::Null()), Variant(std::int16_t{0}));
  EXPECT_EQ(NullToZero(Variant("abc")), Variant("abc"));
  EXPECT_EQ(NullToZero(Variant("")), Variant(""));
  EXPECT_EQ(NullToZero(Variant(2.5)), Variant(2.5));
  EXPECT_EQ(NullToZero(Variant()), Variant());

  EXPECT_EQ(NullToInt(Variant::Null()), 0);
  EXPECT_EQ(NullToInt(Variant(7.5)), 8);
  EXPECT_EQ(NullToInt(Variant(2.5)), 2);
  EXPECT_EQ(NullToInt(Variant(" 12 ")), 12);
  try {
    NullToInt(Variant(40000.0));
    ADD_FAILURE() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kOverflow);
  }
  try {
    NullToInt(Variant("abc"));
    ADD_FAILURE() << "no type mismatch";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

TEST(HtmlEscapeTest, EscapesMarkupCharacters) {
  EXPECT_EQ(HtmlEscape(""), "");
  EXPECT_EQ(HtmlEscape("plain"), "plain");
  EXPECT_EQ(HtmlEscape("a<b>&\"c'd"), "a&lt;b&gt;&amp;&quot;c&#39;d");
  EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
  EXPECT_EQ(HtmlEscape("Grüße"), "Grüße");
  // Line breaks as references, so a value never splits the page's line; tabs stay; other
  // control characters have no place in a page.
  EXPECT_EQ(HtmlEscape("a\r\nb\nc\rd\te"), "a&#13;&#10;b&#10;c&#13;d\te");
  EXPECT_EQ(HtmlEscape(std::string("a\0b\x07\x1B\x1F\x7F", 7)),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\x7F");
  // Long texts, escaped in pieces: every length up to well past a piece, references at every
  // place, against the rules applied one byte at a time.
  const std::string bytes("a<&\"'\r\n\t\0\x01\xC3\xA9>", 13);
  for (std::size_t length : {1u, 31u, 32u, 33u, 255u, 256u, 257u, 1000u, 3001u}) {
    for (std::size_t shift = 0; shift < bytes.size(); ++shift) {
      std::string text;
      std::string want;
      for (std::size_t i = 0; i < length; ++i) {
        const char c = bytes[(i * 7 + shift) % bytes.size()];
        text += c;
        switch (c) {
          case '<':
            want += "&lt;";
            break;
          case '>':
            want += "&gt;";
            break;
          case '&':
            want += "&amp;";
            break;
          case '"':
            want += "&quot;";
            break;
          case '\'':
            want += "&#39;";
            break;
          case '\r':
            want += "&#13;";
            break;
          case '\n':
            want += "&#10;";
            break;
          case '\0':
          case '\x01':
            want += "\xEF\xBF\xBD";
            break;
          default:
            want += c;
        }
      }
      ASSERT_EQ(HtmlEscape(text), want) << length << " bytes from " << shift;
    }
  }
}

}  // namespace
}  // namespace nimbo

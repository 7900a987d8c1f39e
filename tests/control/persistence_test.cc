// Saving and loading the four persisted properties through the JSON property bag.
#include <memory>

#include <gtest/gtest.h>

#include "control/control_access.h"
#include "nimbo/error.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(PersistenceTest, NewControlWritesNothing) {
  Nimbo control(std::make_shared<DesignTimeContainer>(), nullptr);
  control.InitProperties();
  JsonPropertyBag bag;
  control.WriteProperties(bag);
  EXPECT_TRUE(bag.empty()) << bag.ToJson();
}

TEST(PersistenceTest, MissingKeysTakeTheirDefaults) {
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  JsonPropertyBag bag;
  bag.WriteProperty("ConnectionString", Variant("shop.db"), Variant(" "));
  control.ReadProperties(bag);
  const ControlState& s = StateOf(control);
  EXPECT_EQ(s.ApplicationFolder, Variant(" "));
  EXPECT_EQ(s.ConnectionString, Variant("shop.db"));
  EXPECT_EQ(s.ActivePort, 0);  // a form saved before ActivePort was set keeps data access off
  EXPECT_EQ(s.DAMode, 0);
}

TEST(PersistenceTest, RoundTripThroughAFile) {
  TempDir dir;
  {
    Nimbo control(std::make_shared<DesignTimeContainer>(), nullptr);
    control.InitProperties();
    control.ApplicationFolder("/srv/shop");
    control.ConnectionString("Data Source=/srv/shop/shop.db");
    control.ActivePort(80);
    JsonPropertyBag bag;
    control.WriteProperties(bag);
    bag.Save(dir / "form.json");
  }
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  JsonPropertyBag bag = JsonPropertyBag::Load(dir / "form.json");
  control.ReadProperties(bag);
  const ControlState& s = StateOf(control);
  EXPECT_EQ(s.ApplicationFolder, Variant("/srv/shop"));
  EXPECT_EQ(s.ConnectionString, Variant("Data Source=/srv/shop/shop.db"));
  EXPECT_EQ(s.ActivePort, 80);
  EXPECT_FALSE(bag.Contains("DAMode"));
}

TEST(PersistenceTest, ValueBackAtItsDefaultIsForgotten) {
  JsonPropertyBag bag;
  bag.WriteProperty("ActivePort", Variant(int16_t{80}), Variant(int16_t{0}));
  ASSERT_TRUE(bag.Contains("ActivePort"));
  bag.WriteProperty("ActivePort", Variant(0.0), Variant(int16_t{0}));  // numbers compare by value
  EXPECT_FALSE(bag.Contains("ActivePort"));
}

TEST(PersistenceTest, StoredTextIsConvertedOnLoad) {
  TempDir dir;
  WriteFile(dir / "form.json", R"({"ActivePort": "80", "DAMode": 2.5})");
  Nimbo control(std::make_shared<RunTimeContainer>(), nullptr);
  JsonPropertyBag bag = JsonPropertyBag::Load(dir / "form.json");
  control.ReadProperties(bag);
  EXPECT_EQ(StateOf(control).ActivePort, 80);
  EXPECT_EQ(StateOf(control).DAMode, 2);
}

TEST(PersistenceTest, BadFilesAreReportedNotGuessed) {
  TempDir dir;
  const struct {
    const char* content;
    int error;
  } cases[] = {{"{not json", 75}, {"[1, 2]", 75}, {R"({"ActivePort": {"x": 1}})", 75}};
  for (const auto& c : cases) {
    WriteFile(dir / "form.json", c.content);
    try {
      JsonPropertyBag::Load(dir / "form.json");
      ADD_FAILURE() << c.content;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.error) << c.content;
    }
  }
  try {
    JsonPropertyBag::Load(dir / "missing.json");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 53);
  }
}

TEST(PersistenceTest, SaveReplacesTheFileWhole) {
  TempDir dir;
  WriteFile(dir / "form.json", std::string(10000, 'x'));
  JsonPropertyBag bag;
  bag.WriteProperty("DAMode", Variant(int16_t{1}), Variant(int16_t{0}));
  bag.Save(dir / "form.json");
  EXPECT_EQ(ReadFile(dir / "form.json"), "{\n  \"DAMode\": 1\n}\n");
}

TEST(PersistenceTest, TextsThatAreNotUtf8AreRefusedAndTheBagStillSaves) {
  TempDir dir;
  JsonPropertyBag bag;
  bag.WriteProperty("ApplicationFolder", Variant("/srv/caf\xC3\xA9"), Variant(" "));
  // A Latin-1 byte, a cut sequence, a UTF-16 surrogate and an overlong form: JSON holds none.
  for (const char* bad : {"/srv/caf\xE9", "x\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
    SCOPED_TRACE(bad);
    try {
      bag.WriteProperty("ConnectionString", Variant(bad), Variant(" "));
      ADD_FAILURE() << "stored";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kTypeMismatch);
    }
    try {
      bag.WriteProperty(bad, Variant("x"), Variant(" "));
      ADD_FAILURE() << "stored under the name";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidCall);
    }
  }
  EXPECT_FALSE(bag.Contains("ConnectionString"));
  bag.Save(dir / "form.json");
  EXPECT_EQ(JsonPropertyBag::Load(dir / "form.json").ReadProperty("ApplicationFolder", Variant()),
            Variant("/srv/caf\xC3\xA9"));
}

TEST(PersistenceTest, AFolderThatIsNotUtf8CannotBeSavedAndSaysSo) {
  Nimbo control(std::make_shared<DesignTimeContainer>(), nullptr);
  control.InitProperties();
  control.ApplicationFolder(Variant("/srv/caf\xE9"));
  JsonPropertyBag bag;
  try {
    control.WriteProperties(bag);
    ADD_FAILURE() << bag.ToJson();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

}  // namespace
}  // namespace nimbo

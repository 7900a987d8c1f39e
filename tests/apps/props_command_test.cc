// The design-time host, run as a real program over real property files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;

// Runs `nimbo props` with arguments; stderr is folded into the output.
testing::CommandResult Props(const std::string& args) {
  return RunCommand(std::string(NIMBO_CLI_PATH) + " props " + args + " 2>&1");
}

TEST(PropsCommandTest, MissingFileShowsANewInstanceAndCreatesNothing) {
  TempDir dir;
  const auto file = dir / "form.json";
  auto r = Props(file.string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ActivePort: 0\nDAMode: 0\n");
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(PropsCommandTest, SetAppliesAndSaves) {
  TempDir dir;
  const auto file = dir / "form.json";
  auto r = Props(file.string() + " --set ActivePort=80 --set DAMode=12.5");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "ActivePort: 80\nDAMode: 12\n");
  EXPECT_EQ(ReadFile(file), "{\n  \"ActivePort\": 80,\n  \"DAMode\": 12\n}\n");

  r = Props(file.string());
  EXPECT_EQ(r.out, "ActivePort: 80\nDAMode: 12\n");
}

TEST(PropsCommandTest, KeepsOtherKeysOfTheFile) {
  TempDir dir;
  const auto file = dir / "form.json";
  WriteFile(file, R"({"ConnectionString": "Data Source=shop.db", "ActivePort": 80})");
  auto r = Props(file.string() + " --set ActivePort=0");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(file), "{\n  \"ConnectionString\": \"Data Source=shop.db\"\n}\n");
}

TEST(PropsCommandTest, ConversionFailureLeavesTheFileAsItWas) {
  TempDir dir;
  const auto file = dir / "form.json";
  const std::string saved = R"({"ActivePort": 80})";
  WriteFile(file, saved);
  const struct {
    const char* set;
    const char* message;
  } cases[] = {{"DAMode=abc", "Error: 13, Type mismatch\n"},
               {"ActivePort=40000", "Error: 6, Overflow\n"},
               {"ActivePort=", "Error: 13, Type mismatch\n"}};
  for (const auto& c : cases) {
    auto r = Props(file.string() + " --set " + c.set);
    EXPECT_EQ(r.status, 1) << c.set;
    EXPECT_EQ(r.out, c.message) << c.set;
    EXPECT_EQ(ReadFile(file), saved) << c.set;
  }
}

TEST(PropsCommandTest, UsageErrors) {
  TempDir dir;
  EXPECT_EQ(Props((dir / "f.json").string() + " --set Colour=red").status, 2);
  EXPECT_EQ(Props("").status, 2);
  WriteFile(dir / "bad.json", "{oops");
  auto r = Props((dir / "bad.json").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Error: 75, "), std::string::npos) << r.out;
}

}  // namespace
}  // namespace nimbo

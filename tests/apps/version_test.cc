// One version everywhere: the header's macros, the package (project(VERSION), read from the
// header), the library's Version() and the program's --version.
#include <gtest/gtest.h>

#include <string>

#include "nimbo/nimbo.h"
#include "nimbo/version.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

TEST(VersionTest, HeaderPackageLibraryAndProgramAgree) {
  const std::string header = std::to_string(NIMBO_VERSION_MAJOR) + "." +
                             std::to_string(NIMBO_VERSION_MINOR) + "." +
                             std::to_string(NIMBO_VERSION_PATCH);
  EXPECT_EQ(header, NIMBO_PROJECT_VERSION);
  EXPECT_EQ(Version(), header);
  EXPECT_EQ(NIMBO_VERSION,
            NIMBO_VERSION_MAJOR * 10000 + NIMBO_VERSION_MINOR * 100 + NIMBO_VERSION_PATCH);

  const auto program = testing::RunCommand(std::string(NIMBO_CLI_PATH) + " --version");
  EXPECT_EQ(program.status, 0);
  EXPECT_EQ(program.out, "nimbo " + header + "\n");
}

}  // namespace
}  // namespace nimbo

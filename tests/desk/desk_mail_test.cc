// nimbo-desk mails the shown page through the Qt socket: to a real SMTP server on loopback, where
// the message arrives, and as a failure (exit 1) when the server cannot be reached or the user
// may not mail.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "desk/desk_fixture.h"
#include "testing/mail_servers.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::Quoted;
using testing::ReadFile;
using testing::RunDesk;
using testing::TempDir;

// A loopback port on which nothing listens: bound, then let go.
int ClosedPort() {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
  return acceptor.local_endpoint().port();
}

class DeskMailTest : public ::testing::Test {
 protected:
  testing::CommandResult Mail(const std::string& options) {
    return RunDesk("--folder " + Quoted(folder_.path().string()) +
                   " --select Customers --from ann@example.org --from-name Ann"
                   " --mail-to bob@example.org --subject 'Customer list'"
                   " --message 'See the page.' --mail-timeout 20 " +
                   options);
  }
  TempDir folder_;
};

TEST_F(DeskMailTest, ThePageArrivesAtTheServer) {
  testing::SmtpSink sink;
  const auto r = Mail("--can-mail --smtp 127.0.0.1:" + std::to_string(sink.port()));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(R"({"event":"NimboMessage","sMessage":"Message Sent Successfully."})"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(R"({"event":"LogIt","AType":"E-Mail")"), std::string::npos);
  const auto envelope = nlohmann::json::parse(ReadFile(sink.Envelope(1)));
  EXPECT_EQ(envelope["mail_from"], "ann@example.org");
  EXPECT_EQ(envelope["rcpt_tos"], nlohmann::json::array({"bob@example.org"}));
  const std::string message = ReadFile(sink.Message(1));
  EXPECT_NE(message.find("Subject:Customer list\r\n\r\nSee the page.\r\n"), std::string::npos)
      << message.substr(0, 2000);
  // The shown page goes with it.
  EXPECT_NE(message.find("oDatNav.htm"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(sink.Message(2)));
}

TEST_F(DeskMailTest, AMailThatCannotGoIsAFailure) {
  const struct {
    const char* label;
    std::string options;
    const char* message;  // how the NimboMessage begins
  } cases[] = {
      {"nothing listens", "--can-mail --smtp 127.0.0.1:" + std::to_string(ClosedPort()),
       "Winsock Error"},
      {"the user may not mail", "--smtp 127.0.0.1:25", "Sorry! You are not authorised"},
  };
  for (const auto& c : cases) {
    const auto r = Mail(c.options);
    EXPECT_EQ(r.status, 1) << c.label << "\n" << r.out;
    const std::string prefix = std::string(R"({"event":"NimboMessage","sMessage":")") + c.message;
    EXPECT_NE(r.out.find(prefix), std::string::npos) << c.label << "\n" << r.out;
    EXPECT_EQ(r.out.find("Message Sent Successfully."), std::string::npos) << c.label;
  }
}

}  // namespace
}  // namespace nimbo

// nimbo::TcpSocket on loopback connections, in both modes: the deadline, and in posted mode the
// notifications of a connection that has ended in the meantime (dropped, even after the socket
// itself is gone).
#include "nimbo/tcp_socket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "nimbo/error.h"
#include "testing/host_queue.h"
#include "testing/mail_servers.h"

namespace nimbo {
namespace {

using ::nimbo::testing::HostQueue;
using ::nimbo::testing::Pause;
using ::nimbo::testing::ScriptedServer;
using ::nimbo::testing::Send;
using ::nimbo::testing::ServerStep;
using ::nimbo::testing::SocketMode;
using ::nimbo::testing::TalkingScript;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A socket in either mode with what it tells the host written down, and the host's loop run on
// this thread.
struct SocketUnderTest {
  explicit SocketUnderTest(SocketMode socket_mode)
      : mode(socket_mode),
        socket(socket_mode == SocketMode::kPosted ? std::make_shared<TcpSocket>(queue.Poster())
                                                  : std::make_shared<TcpSocket>()) {
    socket->SetNotifications({
        .connected =
            [this] {
              Note("connected");
              if (on_connected) on_connected();
            },
        .data_arrival =
            [this](std::int32_t bytes) {
              threads.insert(std::this_thread::get_id());
              std::string data;
              socket->GetData(data);
              EXPECT_EQ(static_cast<std::size_t>(bytes), data.size());
              received += data;
            },
        .error =
            [this](std::int16_t number, const std::string& description) {
              Note("error " + std::to_string(number) + " " + description);
            },
        .closed = [this] { Note("closed"); },
    });
  }

  void Note(const std::string& note) {
    threads.insert(std::this_thread::get_id());
    notes.push_back(note);
  }

  // Delivers notifications until `done` holds; false when 20 seconds passed first.
  bool RunUntil(const std::function<bool()>& done) {
    if (mode == SocketMode::kPosted) return queue.RunUntil(done);
    const auto give_up = SteadyClock::now() + std::chrono::seconds(20);
    while (!done() && SteadyClock::now() < give_up) socket->RunFor(milliseconds(50));
    return done();
  }
  bool RunUntilClosed() {
    return RunUntil([this] { return socket->state() == TcpSocket::State::kClosed; });
  }
  // Delivers whatever still comes during `span`.
  void RunFor(milliseconds span) {
    if (mode == SocketMode::kPosted) return queue.RunFor(span);
    const auto end = SteadyClock::now() + span;
    while (SteadyClock::now() < end) socket->RunFor(milliseconds(10));
  }

  const SocketMode mode;
  HostQueue queue;  // outlives the socket, which posts into it
  std::shared_ptr<TcpSocket> socket;
  std::function<void()> on_connected;
  std::vector<std::string> notes;  // connected, error N text, closed
  std::string received;
  std::set<std::thread::id> threads;
};

TEST(TcpSocketTest, DeadlineEndsTheConnectionWithOneTimeOutError) {
  struct Case {
    const char* name;
    std::vector<ServerStep> script;
    bool talks;
  };
  const std::vector<Case> cases = {{"silent", {}, false}, {"talking", TalkingScript(), true}};
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(NameOf(mode)) + " " + c.name);
      ScriptedServer server(c.script);
      SocketUnderTest s(mode);
      s.socket->Connect("127.0.0.1", server.port());
      s.socket->SetDeadline(SteadyClock::now() + milliseconds(300));
      ASSERT_TRUE(s.RunUntilClosed());
      s.RunFor(milliseconds(200));  // a second report would arrive now

      EXPECT_THAT(s.notes, ElementsAre("connected", "error 10060 Connection timed out"));
      EXPECT_TRUE(s.socket->timed_out());
      EXPECT_EQ(!s.received.empty(), c.talks);
      EXPECT_THAT(s.threads, ElementsAre(std::this_thread::get_id()));
      EXPECT_THROW(s.socket->SendData("late\r\n"), Error);
      server.Stop();
      EXPECT_TRUE(server.client_closed());
    }
  }
}

TEST(TcpSocketTest, DeadlineIsClearedByCloseAndReplacedByALaterOne) {
  // The greeting comes well after the first deadline: a deadline that survived would end the
  // connection before it.
  const std::vector<ServerStep> late = {Pause(800), Send("220 late\r\n")};
  for (const SocketMode mode : {SocketMode::kPolled, SocketMode::kPosted}) {
    for (const bool by_close : {true, false}) {
      SCOPED_TRACE(std::string(NameOf(mode)) + (by_close ? " cleared by Close" : " replaced"));
      ScriptedServer first({});
      ScriptedServer second(late);
      SocketUnderTest s(mode);
      if (by_close) {
        s.socket->Connect("127.0.0.1", first.port());
        s.socket->SetDeadline(SteadyClock::now() + milliseconds(200));
        s.socket->Close();
        s.socket->Connect("127.0.0.1", second.port());
      } else {
        s.socket->Connect("127.0.0.1", second.port());
        s.socket->SetDeadline(SteadyClock::now() + milliseconds(200));
        s.socket->SetDeadline(SteadyClock::time_point::max());
      }
      ASSERT_TRUE(s.RunUntil(
          [&] { return !s.received.empty() || s.socket->state() == TcpSocket::State::kClosed; }));
      EXPECT_THAT(s.notes, ElementsAre("connected"));
      EXPECT_EQ(s.received, "220 late\r\n");
      EXPECT_EQ(s.socket->state(), TcpSocket::State::kConnected);
      EXPECT_FALSE(s.socket->timed_out());
      s.socket->Close();
    }
  }
}

TEST(TcpSocketTest, PostedStateFollowsTheNotificationsDelivered) {
  ScriptedServer server({Send("220 hello\r\n"), testing::CloseConnection()});
  SocketUnderTest s(SocketMode::kPosted);
  s.socket->Connect("127.0.0.1", server.port());
  // Connected, the greeting and the close are all on their way; none has run.
  ASSERT_TRUE(s.queue.WaitForQueued(3));
  EXPECT_EQ(s.socket->state(), TcpSocket::State::kConnecting);
  // Sending is still allowed: to the host the connection is not over until it hears so.
  EXPECT_NO_THROW(s.socket->SendData("HELO ann\r\n"));

  ASSERT_TRUE(s.RunUntil([&] { return !s.notes.empty(); }));
  EXPECT_EQ(s.socket->state(), TcpSocket::State::kConnected);
  ASSERT_TRUE(s.RunUntilClosed());
  EXPECT_THAT(s.notes, ElementsAre("connected", "closed"));
  EXPECT_EQ(s.received, "220 hello\r\n");
  EXPECT_FALSE(s.socket->timed_out());
}

TEST(TcpSocketTest, PostedNotificationsOfAnEndedConnectionAreDropped) {
  enum Ending { kClose, kReconnect, kDestroy, kDestroyedByItsOwnNotification };
  const std::vector<std::pair<Ending, const char*>> endings = {
      {kClose, "Close"},
      {kReconnect, "Connect elsewhere"},
      {kDestroy, "socket destroyed"},
      {kDestroyedByItsOwnNotification, "socket destroyed by its connected notification"},
  };
  for (const auto& [ending, name] : endings) {
    SCOPED_TRACE(name);
    ScriptedServer first({Send("220 first\r\n")});
    ScriptedServer second({Send("220 second\r\n")});
    SocketUnderTest s(SocketMode::kPosted);
    s.socket->Connect("127.0.0.1", first.port());
    ASSERT_TRUE(s.queue.WaitForQueued(2));  // connected and the greeting, not yet run

    switch (ending) {
      case kClose:
        s.socket->Close();
        s.RunFor(milliseconds(200));
        EXPECT_THAT(s.notes, IsEmpty());
        EXPECT_EQ(s.socket->state(), TcpSocket::State::kClosed);
        break;
      case kReconnect:
        s.socket->Close();
        s.socket->Connect("127.0.0.1", second.port());
        ASSERT_TRUE(s.RunUntil([&] { return s.received == "220 second\r\n"; }));
        s.RunFor(milliseconds(200));
        EXPECT_THAT(s.notes, ElementsAre("connected"));
        EXPECT_EQ(s.received, "220 second\r\n");
        break;
      case kDestroy:
        s.socket.reset();
        s.RunFor(milliseconds(200));
        EXPECT_THAT(s.notes, IsEmpty());
        EXPECT_THAT(s.received, IsEmpty());
        break;
      case kDestroyedByItsOwnNotification:
        s.on_connected = [&s] { s.socket.reset(); };
        s.RunFor(milliseconds(200));
        EXPECT_THAT(s.notes, ElementsAre("connected"));
        EXPECT_THAT(s.received, IsEmpty());
        break;
    }
  }
}

}  // namespace
}  // namespace nimbo

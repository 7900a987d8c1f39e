// nimbo::qt::Socket on loopback: a conversation with a scripted server, the aiosmtpd sink's
// greeting, and the faults (refused port, host not found, the deadline, the peer closing, too
// much data waiting, nothing after Close, a handler destroying the socket), all delivered by
// Qt's event loop.
#include "nimbo/qt/socket.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <chrono>
#include <memory>
#include <string>

#include "nimbo/error.h"
#include "qt_test_support.h"
#include "testing/mail_servers.h"

using nimbo::qt::Socket;
using nimbo::qt_testing::ErrorOf;
using nimbo::testing::CloseConnection;
using nimbo::testing::Pause;
using nimbo::testing::ReadLine;
using nimbo::testing::ScriptedServer;
using nimbo::testing::Send;
using nimbo::testing::SmtpSink;
using std::chrono::milliseconds;

namespace {

constexpr int kWait = 10'000;

// A port nobody listens on.
int RefusedPort() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) return 1;
  const int port = server.serverPort();
  server.close();
  return port;
}

}  // namespace

class SocketTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void conversationWithAScriptedServer() {
    ScriptedServer server({Send("220 ready\r\n"), ReadLine(), Send("250 hello\r\n"), ReadLine(),
                           Send("221 bye\r\n")});
    Socket socket;
    QSignalSpy connected(&socket, &Socket::connected);
    QSignalSpy errors(&socket, &Socket::error);
    std::string received;
    std::vector<std::string> mismatches;
    bool quit = false;
    connect(&socket, &Socket::dataArrival, this, [&](std::int32_t total) {
      std::string data;
      socket.GetData(data);
      if (static_cast<std::size_t>(total) != data.size()) {
        mismatches.push_back(std::to_string(total) + " announced, " + data + " read");
      }
      received += data;
      if (!quit && received.find("250 hello\r\n") != std::string::npos) {
        quit = true;
        socket.SendData("QUIT\r\n");
      }
    });
    socket.Connect("127.0.0.1", server.port());
    QCOMPARE(socket.state(), Socket::State::kConnecting);
    socket.SendData("EHLO nimbo\r\n");  // while connecting: goes out once connected
    QVERIFY(connected.wait(kWait));
    QCOMPARE(socket.state(), Socket::State::kConnected);
    QTRY_COMPARE_WITH_TIMEOUT(received, std::string("220 ready\r\n250 hello\r\n221 bye\r\n"),
                              kWait);
    socket.Close();
    QCOMPARE(socket.state(), Socket::State::kClosed);
    server.Stop();
    QCOMPARE(server.lines(), (std::vector<std::string>{"EHLO nimbo", "QUIT"}));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(mismatches, std::vector<std::string>());
  }

  void theSmtpSinkGreets() {
    SmtpSink sink;
    Socket socket;
    std::string received;
    connect(&socket, &Socket::dataArrival, this, [&](std::int32_t) {
      std::string data;
      socket.GetData(data);
      received += data;
    });
    socket.Connect("localhost", sink.port());
    QTRY_VERIFY_WITH_TIMEOUT(received.find("\r\n") != std::string::npos, kWait);
    QVERIFY(received.rfind("220 ", 0) == 0);
    socket.SendData("QUIT\r\n");
    QSignalSpy closed(&socket, &Socket::closed);
    QVERIFY(closed.wait(kWait));  // the server closes after its 221
    QVERIFY(received.find("221") != std::string::npos);
  }

  void aRefusedPortIs10061() {
    Socket socket;
    QSignalSpy errors(&socket, &Socket::error);
    QSignalSpy connected(&socket, &Socket::connected);
    socket.Connect("127.0.0.1", RefusedPort());
    QVERIFY(errors.wait(kWait));
    QCOMPARE(errors.at(0).at(0).value<std::int16_t>(), std::int16_t{10061});
    QVERIFY(!errors.at(0).at(1).toString().isEmpty());
    QCOMPARE(socket.state(), Socket::State::kClosed);
    QCOMPARE(connected.count(), 0);
    QVERIFY(!socket.timed_out());
  }

  void anUnknownHostIs11001() {
    Socket socket;
    QSignalSpy errors(&socket, &Socket::error);
    socket.Connect("no-such-host.invalid", 25);
    QVERIFY(errors.wait(kWait));
    QCOMPARE(errors.at(0).at(0).value<std::int16_t>(), std::int16_t{11001});
  }

  void theDeadlineIs10060() {
    ScriptedServer server({});  // accepts and says nothing
    Socket socket;
    QSignalSpy errors(&socket, &Socket::error);
    socket.Connect("127.0.0.1", server.port());
    socket.SetDeadline(std::chrono::steady_clock::now() + milliseconds(300));
    QVERIFY(errors.wait(kWait));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<std::int16_t>(), std::int16_t{10060});
    QCOMPARE(errors.at(0).at(1).toString(), QString("Connection timed out"));
    QVERIFY(socket.timed_out());
    QCOMPARE(socket.state(), Socket::State::kClosed);
    server.Stop();
    QVERIFY(server.client_closed());
    // A deadline on a closed socket does nothing; Connect clears timed_out.
    socket.SetDeadline(std::chrono::steady_clock::now());
    QTest::qWait(50);
    QCOMPARE(errors.count(), 1);
  }

  void theDeadlineCanMoveAndGoAway() {
    ScriptedServer server({Pause(600), Send("220 late\r\n")});
    Socket socket;
    QSignalSpy errors(&socket, &Socket::error);
    QSignalSpy data(&socket, &Socket::dataArrival);
    socket.Connect("127.0.0.1", server.port());
    socket.SetDeadline(std::chrono::steady_clock::now() + milliseconds(100));
    socket.SetDeadline(std::chrono::steady_clock::time_point::max());  // none after all
    QVERIFY(data.wait(kWait));
    QCOMPARE(errors.count(), 0);
    socket.Close();
  }

  void thePeerClosingIsClosedAndTheDataStays() {
    ScriptedServer server({Send("221 bye\r\n"), CloseConnection()});
    Socket socket;
    QSignalSpy closed(&socket, &Socket::closed);
    QSignalSpy errors(&socket, &Socket::error);
    socket.Connect("127.0.0.1", server.port());
    QVERIFY(closed.wait(kWait));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(socket.state(), Socket::State::kClosed);
    std::string data;
    socket.GetData(data);
    QCOMPARE(data, std::string("221 bye\r\n"));
    QCOMPARE(ErrorOf([&] { socket.SendData("x"); }), 40006);
  }

  void tooMuchWaitingDataIs10055() {
    ScriptedServer server({Send(std::string(Socket::kMaxPending + 64 * 1024, 'x'))});
    Socket socket;
    QSignalSpy errors(&socket, &Socket::error);
    socket.Connect("127.0.0.1", server.port());  // and never reads
    QVERIFY(errors.wait(kWait));
    QCOMPARE(errors.at(0).at(0).value<std::int16_t>(), std::int16_t{10055});
    QCOMPARE(socket.state(), Socket::State::kClosed);
  }

  void raises() {
    Socket socket;
    QCOMPARE(ErrorOf([&] { socket.SendData("x"); }), 40006);
    QCOMPARE(ErrorOf([&] { socket.Connect("127.0.0.1", 0); }), 5);
    QCOMPARE(ErrorOf([&] { socket.Connect("127.0.0.1", 70000); }), 5);
    QCOMPARE(socket.state(), Socket::State::kClosed);
    ScriptedServer server({});
    socket.Connect("127.0.0.1", server.port());
    QCOMPARE(ErrorOf([&] { socket.Connect("127.0.0.1", server.port()); }), 40020);
    socket.Close();
    std::string data = "old";
    socket.GetData(data);
    QCOMPARE(data, std::string());
  }

  void nothingAfterClose() {
    ScriptedServer server({Send("220 ready\r\n"), Pause(100), Send("more\r\n"), CloseConnection()});
    Socket socket;
    QSignalSpy connected(&socket, &Socket::connected);
    QSignalSpy data(&socket, &Socket::dataArrival);
    QSignalSpy errors(&socket, &Socket::error);
    QSignalSpy closed(&socket, &Socket::closed);
    socket.Connect("127.0.0.1", server.port());
    socket.SetDeadline(std::chrono::steady_clock::now() + milliseconds(200));
    QVERIFY(connected.wait(kWait));
    socket.Close();
    QTest::qWait(500);  // the data, the server's close and the deadline would all be due
    QCOMPARE(data.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(closed.count(), 0);
    // Closing before the connection is made: no notification either.
    Socket early;
    QSignalSpy early_connected(&early, &Socket::connected);
    early.Connect("127.0.0.1", server.port());
    early.Close();
    QTest::qWait(200);
    QCOMPARE(early_connected.count(), 0);
  }

  void aHandlerMayDestroyOrReconnectTheSocket() {
    {
      ScriptedServer server({Send("220 ready\r\n")});
      auto* socket = new Socket;
      bool destroyed = false;
      connect(socket, &QObject::destroyed, this, [&] { destroyed = true; });
      connect(socket, &Socket::dataArrival, this, [socket] { delete socket; });
      socket->Connect("127.0.0.1", server.port());
      QTRY_VERIFY_WITH_TIMEOUT(destroyed, kWait);
    }
    {
      auto socket = std::make_unique<Socket>();
      bool destroyed = false;
      connect(socket.get(), &QObject::destroyed, this, [&] { destroyed = true; });
      connect(socket.get(), &Socket::error, this, [&] { socket.reset(); });
      socket->Connect("127.0.0.1", RefusedPort());
      QTRY_VERIFY_WITH_TIMEOUT(destroyed, kWait);
    }
    {
      // Reconnecting from the error handler: the new connection is served.
      ScriptedServer server({Send("220 second\r\n")});
      Socket socket;
      int errors = 0;
      connect(&socket, &Socket::error, this, [&] {
        ++errors;
        socket.Connect("127.0.0.1", server.port());
      });
      QSignalSpy data(&socket, &Socket::dataArrival);
      socket.Connect("127.0.0.1", RefusedPort());
      QVERIFY(data.wait(kWait));
      QCOMPARE(errors, 1);
      socket.Close();
    }
  }
};

NIMBO_QT_TEST_MAIN(SocketTest)
#include "socket_test.moc"

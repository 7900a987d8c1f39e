// nimbo::TcpSocket on standalone Asio: an io_context of the socket's own, run by the host's
// thread through Poll and RunFor, so every completion handler runs on that thread.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/tcp_socket.h"

namespace nimbo {
namespace {

using asio::ip::tcp;

// Numbers of the classic socket control for the failures a mail host meets; the system's own
// number for the rest.
std::int16_t SocketErrorNumber(const std::error_code& error) {
  namespace e = asio::error;
  if (error == e::connection_refused) return 10061;
  if (error == e::timed_out) return 10060;
  if (error == e::host_not_found) return 11001;
  if (error == e::host_not_found_try_again) return 11002;
  if (error == e::no_data) return 11004;
  if (error == e::connection_reset) return 10054;
  if (error == e::connection_aborted || error == e::broken_pipe) return 10053;
  if (error == e::network_unreachable) return 10051;
  if (error == e::host_unreachable) return 10065;
  const int value = error.value();
  if (value > 0 && value <= std::numeric_limits<std::int16_t>::max()) {
    return static_cast<std::int16_t>(value);
  }
  return 10000;
}

constexpr int kWrongState = 40006;    // sending with no connection
constexpr int kInvalidState = 40020;  // connecting a socket that is in use

}  // namespace

class TcpSocket::Impl {
 public:
  void Connect(const std::string& host, std::int32_t port) {
    if (state_ != State::kClosed) {
      throw Error(kInvalidState, "Invalid operation at current state");
    }
    if (port < 1 || port > 65535) {
      throw Error(err::kInvalidCall, fmt::format("Port {} is outside 1 to 65535", port));
    }
    inbox_.clear();
    outbox_.clear();
    writing_ = false;
    state_ = State::kConnecting;
    const std::uint64_t generation = ++generation_;
    resolver_.async_resolve(
        host, std::to_string(port),
        [this, generation](const std::error_code& error, tcp::resolver::results_type results) {
          if (generation != generation_) return;
          if (error) return Fail(error);
          asio::async_connect(
              socket_, results,
              [this, generation](const std::error_code& connect_error, const tcp::endpoint&) {
                if (generation != generation_) return;
                if (connect_error) return Fail(connect_error);
                Connected(generation);
              });
        });
  }

  void GetData(std::string& data) {
    data = std::move(inbox_);
    inbox_.clear();
  }

  void SendData(const std::string& data) {
    if (state_ == State::kClosed) {
      throw Error(kWrongState,
                  "Wrong protocol or connection state for the requested transaction or request");
    }
    outbox_.push_back(std::make_shared<const std::string>(data));
    StartWrite(generation_);
  }

  void Close() {
    ++generation_;  // handlers of the old connection find themselves stale and do nothing
    std::error_code ignored;
    resolver_.cancel();
    socket_.close(ignored);
    state_ = State::kClosed;
    outbox_.clear();
    writing_ = false;
  }

  std::size_t Poll() {
    io_.restart();
    return io_.poll();
  }

  std::size_t RunFor(std::chrono::milliseconds duration) {
    io_.restart();
    std::size_t ran = io_.run_one_for(duration);
    if (ran > 0) ran += io_.poll();
    return ran;
  }

  State state() const { return state_; }
  Notifications notifications;

 private:
  void Connected(std::uint64_t generation) {
    state_ = State::kConnected;
    std::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);  // replies are small and awaited
    StartRead(generation);
    StartWrite(generation);
    if (auto connected = notifications.connected) connected();
  }

  void StartRead(std::uint64_t generation) {
    socket_.async_read_some(asio::buffer(read_buffer_),
                            [this, generation](const std::error_code& error, std::size_t n) {
                              if (generation != generation_) return;
                              if (error == asio::error::eof) {
                                Close();
                                if (auto closed = notifications.closed) closed();
                                return;
                              }
                              if (error) return Fail(error);
                              inbox_.append(read_buffer_.data(), n);
                              StartRead(generation);
                              if (auto arrival = notifications.data_arrival) {
                                const std::size_t total = inbox_.size();
                                arrival(static_cast<std::int32_t>(std::min<std::size_t>(
                                    total, std::numeric_limits<std::int32_t>::max())));
                              }
                            });
  }

  void StartWrite(std::uint64_t generation) {
    if (writing_ || outbox_.empty() || state_ != State::kConnected) return;
    writing_ = true;
    // The handler holds the bytes, so a Close that drops the queue leaves them valid.
    std::shared_ptr<const std::string> bytes = outbox_.front();
    asio::async_write(socket_, asio::buffer(*bytes),
                      [this, generation, bytes](const std::error_code& error, std::size_t) {
                        if (generation != generation_) return;
                        writing_ = false;
                        if (error) return Fail(error);
                        outbox_.pop_front();
                        StartWrite(generation);
                      });
  }

  void Fail(const std::error_code& error) {
    Close();
    if (auto report = notifications.error) report(SocketErrorNumber(error), error.message());
  }

  asio::io_context io_;
  tcp::resolver resolver_{io_};
  tcp::socket socket_{io_};
  State state_ = State::kClosed;
  std::uint64_t generation_ = 0;
  std::string inbox_;
  std::deque<std::shared_ptr<const std::string>> outbox_;
  bool writing_ = false;
  std::array<char, 64 * 1024> read_buffer_{};
};

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() { impl_->Close(); }

void TcpSocket::SetNotifications(Notifications notifications) {
  impl_->notifications = std::move(notifications);
}

void TcpSocket::Connect(const std::string& host, std::int32_t port) { impl_->Connect(host, port); }
void TcpSocket::GetData(std::string& data) { impl_->GetData(data); }
void TcpSocket::SendData(const std::string& data) { impl_->SendData(data); }
void TcpSocket::Close() { impl_->Close(); }
TcpSocket::State TcpSocket::state() const { return impl_->state(); }
std::size_t TcpSocket::Poll() { return impl_->Poll(); }
std::size_t TcpSocket::RunFor(std::chrono::milliseconds duration) {
  return impl_->RunFor(duration);
}

}  // namespace nimbo

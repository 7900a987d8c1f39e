// nimbo::TcpSocket on standalone Asio. One core serves both modes: its io_context is run either
// by the host's thread through Poll and RunFor, or by an I/O thread of the socket's own that
// hands each notification to the host's poster. The asio objects are touched only by the thread
// that runs the io_context; what the host and the I/O share (states, inbox, outbox, generation)
// is under the core's mutex, which is never held while host code runs.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/tcp_socket.h"

namespace nimbo {
namespace {

using asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;

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
constexpr std::int16_t kTimedOut = 10060;

}  // namespace

class TcpSocket::Core : public std::enable_shared_from_this<Core> {
 public:
  explicit Core(Poster post) : post_(std::move(post)) {}
  ~Core() { StopIoThread(); }

  // Posted mode: the I/O thread runs the io_context until the socket goes.
  void StartIoThread() {
    work_.emplace(io_.get_executor());
    io_thread_ = std::thread([this] { io_.run(); });
  }

  // The socket is going: no notification of it runs from now on, and no thread touches the
  // asio objects but this one.
  void Shutdown() {
    {
      std::lock_guard lock(mutex_);
      ++generation_;
      state_ = io_state_ = State::kClosed;
      outbox_.clear();
      writing_ = false;
    }
    StopIoThread();
    CloseIo();
  }

  void Connect(const std::string& host, std::int32_t port) {
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      if (state_ != State::kClosed) {
        throw Error(kInvalidState, "Invalid operation at current state");
      }
      if (port < 1 || port > 65535) {
        throw Error::WithDetail(err::kInvalidCall,
                                fmt::format("Port {} is outside 1 to 65535", port));
      }
      inbox_.clear();
      outbox_.clear();
      writing_ = false;
      timed_out_ = false;
      arrival_posted_ = false;
      state_ = io_state_ = State::kConnecting;
      generation = ++generation_;
    }
    OnIoThread([this, generation, host, port] { Resolve(generation, host, port); });
  }

  void GetData(std::string& data) {
    std::lock_guard lock(mutex_);
    data = std::move(inbox_);
    inbox_.clear();
  }

  void SendData(const std::string& data) {
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      if (state_ == State::kClosed) {
        throw Error(kWrongState,
                    "Wrong protocol or connection state for the requested transaction or request");
      }
      outbox_.push_back(std::make_shared<const std::string>(data));
      generation = generation_;
    }
    OnIoThread([this, generation] { StartWrite(generation); });
  }

  void Close() {
    {
      std::lock_guard lock(mutex_);
      ++generation_;  // whatever the old connection still has in flight finds itself stale
      state_ = io_state_ = State::kClosed;
      outbox_.clear();
      writing_ = false;
    }
    OnIoThread([this] { CloseIo(); });
  }

  void SetDeadline(SteadyClock::time_point when) {
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      if (state_ == State::kClosed) return;
      generation = generation_;
    }
    OnIoThread([this, generation, when] { ArmDeadline(generation, when); });
  }

  State state() const {
    std::lock_guard lock(mutex_);
    return state_;
  }

  bool timed_out() const {
    std::lock_guard lock(mutex_);
    return timed_out_;
  }

  std::size_t Poll() {
    if (post_) return 0;
    io_.restart();
    return io_.poll();
  }

  std::size_t RunFor(std::chrono::milliseconds duration) {
    if (post_) return 0;
    io_.restart();
    std::size_t ran = io_.run_one_for(duration);
    if (ran > 0) ran += io_.poll();
    return ran;
  }

  bool posted() const { return static_cast<bool>(post_); }

  // Only the host's thread reads or replaces them.
  Notifications notifications;

 private:
  // One notification on its way to the host. `generation` is the connection it belongs to.
  struct Note {
    enum Kind { kConnected, kDataArrival, kError, kClosed } kind;
    std::uint64_t generation;
    std::int16_t number = 0;
    std::string description{};
    bool deadline = false;  // the error is the deadline passing
  };

  // Runs asio work on the thread that owns the asio objects: this one in polled mode (the host
  // calls in between its own Poll calls), the I/O thread in posted mode.
  template <typename Work>
  void OnIoThread(Work&& work) {
    if (post_) {
      asio::post(io_, std::forward<Work>(work));
    } else {
      work();
    }
  }

  void StopIoThread() {
    if (!io_thread_.joinable()) return;
    io_.stop();
    io_thread_.join();
  }

  // Whether the I/O of connection `generation` is still wanted. Called with the mutex held.
  bool LiveLocked(std::uint64_t generation) const {
    return generation == generation_ && io_state_ != State::kClosed;
  }
  bool Live(std::uint64_t generation) const {
    std::lock_guard lock(mutex_);
    return LiveLocked(generation);
  }

  // On the I/O side.

  void Resolve(std::uint64_t generation, const std::string& host, std::int32_t port) {
    if (!Live(generation)) return;
    resolver_.async_resolve(
        host, std::to_string(port),
        [this, generation](const std::error_code& error, tcp::resolver::results_type results) {
          if (!Live(generation)) return;
          if (error) return Fail(generation, error);
          asio::async_connect(
              socket_, results,
              [this, generation](const std::error_code& connect_error, const tcp::endpoint&) {
                if (!Live(generation)) return;
                if (connect_error) return Fail(generation, connect_error);
                Connected(generation);
              });
        });
  }

  void Connected(std::uint64_t generation) {
    {
      std::lock_guard lock(mutex_);
      if (!LiveLocked(generation)) return;
      io_state_ = State::kConnected;
    }
    std::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);  // replies are small and awaited
    StartRead(generation);
    StartWrite(generation);
    Notify({Note::kConnected, generation});
  }

  void StartRead(std::uint64_t generation) {
    socket_.async_read_some(asio::buffer(read_buffer_),
                            [this, generation](const std::error_code& error, std::size_t n) {
                              if (error == asio::error::eof) {
                                if (EndFromIo(generation)) Notify({Note::kClosed, generation});
                                return;
                              }
                              if (error) return Fail(generation, error);
                              {
                                std::lock_guard lock(mutex_);
                                if (!LiveLocked(generation)) return;
                                inbox_.append(read_buffer_.data(), n);
                              }
                              StartRead(generation);
                              Notify({Note::kDataArrival, generation});
                            });
  }

  void StartWrite(std::uint64_t generation) {
    // The handler holds the bytes, so a Close that drops the queue leaves them valid.
    std::shared_ptr<const std::string> bytes;
    {
      std::lock_guard lock(mutex_);
      if (!LiveLocked(generation) || io_state_ != State::kConnected || writing_ ||
          outbox_.empty()) {
        return;
      }
      writing_ = true;
      bytes = outbox_.front();
    }
    asio::async_write(socket_, asio::buffer(*bytes),
                      [this, generation, bytes](const std::error_code& error, std::size_t) {
                        {
                          std::lock_guard lock(mutex_);
                          if (!LiveLocked(generation)) return;
                          writing_ = false;
                          if (!error) outbox_.pop_front();
                        }
                        if (error) return Fail(generation, error);
                        StartWrite(generation);
                      });
  }

  void ArmDeadline(std::uint64_t generation, SteadyClock::time_point when) {
    if (!Live(generation)) return;
    deadline_.expires_at(when);  // cancels the wait for an earlier deadline of this connection
    deadline_.async_wait([this, generation](const std::error_code& error) {
      // A wait that completed just before a later SetDeadline moved the time finds it ahead.
      if (error || deadline_.expiry() > SteadyClock::now()) return;
      if (!EndFromIo(generation)) return;
      Note note{Note::kError, generation, kTimedOut, "Connection timed out"};
      note.deadline = true;
      Notify(std::move(note));
    });
  }

  void Fail(std::uint64_t generation, const std::error_code& error) {
    if (!EndFromIo(generation)) return;
    Notify({Note::kError, generation, SocketErrorNumber(error), error.message()});
  }

  // The connection ended on the I/O side (peer, error, deadline). Its notifications still
  // reach the host, in order, and the host's state follows when the last of them runs. False
  // when the connection had already ended.
  bool EndFromIo(std::uint64_t generation) {
    {
      std::lock_guard lock(mutex_);
      if (!LiveLocked(generation)) return false;
      io_state_ = State::kClosed;
      outbox_.clear();
      writing_ = false;
    }
    CloseIo();
    return true;
  }

  void CloseIo() {
    std::error_code ignored;
    resolver_.cancel();
    socket_.close(ignored);
    deadline_.cancel();
  }

  void Notify(Note note) {
    if (!post_) return Deliver(note);
    if (note.kind == Note::kDataArrival) {
      // One arrival waiting in the host's loop reports everything received until it runs.
      std::lock_guard lock(mutex_);
      if (arrival_posted_) return;
      arrival_posted_ = true;
    }
    // The closure holds the core weakly: after the socket is gone it finds nothing to call.
    post_([weak = weak_from_this(), note = std::move(note)] {
      if (const std::shared_ptr<Core> core = weak.lock()) core->Deliver(note);
    });
  }

  // On the host's thread.
  void Deliver(const Note& note) {
    std::int32_t total = 0;
    {
      std::lock_guard lock(mutex_);
      if (note.generation != generation_) return;  // closed or replaced since
      switch (note.kind) {
        case Note::kConnected:
          state_ = State::kConnected;
          break;
        case Note::kDataArrival:
          arrival_posted_ = false;
          if (inbox_.empty()) return;  // an earlier handler read it all
          total = static_cast<std::int32_t>(
              std::min<std::size_t>(inbox_.size(), std::numeric_limits<std::int32_t>::max()));
          break;
        case Note::kError:
        case Note::kClosed:
          state_ = State::kClosed;
          timed_out_ = note.deadline;
          break;
      }
    }
    // Copies: a handler may replace the notifications or destroy the socket while it runs.
    switch (note.kind) {
      case Note::kConnected:
        if (auto connected = notifications.connected) connected();
        break;
      case Note::kDataArrival:
        if (auto arrival = notifications.data_arrival) arrival(total);
        break;
      case Note::kError:
        if (auto report = notifications.error) report(note.number, note.description);
        break;
      case Note::kClosed:
        if (auto closed = notifications.closed) closed();
        break;
    }
  }

  const Poster post_;
  asio::io_context io_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::thread io_thread_;
  tcp::resolver resolver_{io_};
  tcp::socket socket_{io_};
  asio::steady_timer deadline_{io_};
  std::array<char, 64 * 1024> read_buffer_{};

  mutable std::mutex mutex_;
  // Guarded by mutex_. `state_` is what the notifications delivered so far say; `io_state_`
  // is the connection itself, ahead of the host's view while notifications are on their way.
  State state_ = State::kClosed;
  State io_state_ = State::kClosed;
  std::uint64_t generation_ = 0;  // advanced by Connect, Close and the socket going
  std::string inbox_;
  std::deque<std::shared_ptr<const std::string>> outbox_;
  bool writing_ = false;
  bool timed_out_ = false;
  bool arrival_posted_ = false;
};

TcpSocket::TcpSocket() : core_(std::make_shared<Core>(nullptr)) {}

TcpSocket::TcpSocket(Poster post) : core_(std::make_shared<Core>(std::move(post))) {
  if (!core_->posted()) {
    throw Error::WithDetail(err::kInvalidCall, "A posting socket needs a poster");
  }
  core_->StartIoThread();
}

TcpSocket::~TcpSocket() { core_->Shutdown(); }

void TcpSocket::SetNotifications(Notifications notifications) {
  core_->notifications = std::move(notifications);
}

void TcpSocket::Connect(const std::string& host, std::int32_t port) { core_->Connect(host, port); }
void TcpSocket::GetData(std::string& data) { core_->GetData(data); }
void TcpSocket::SendData(const std::string& data) { core_->SendData(data); }
void TcpSocket::Close() { core_->Close(); }
void TcpSocket::SetDeadline(std::chrono::steady_clock::time_point when) {
  core_->SetDeadline(when);
}
TcpSocket::State TcpSocket::state() const { return core_->state(); }
bool TcpSocket::timed_out() const { return core_->timed_out(); }

// The core is held for the call, so a notification that destroys the socket leaves the loop it
// runs in intact.
std::size_t TcpSocket::Poll() {
  const std::shared_ptr<Core> core = core_;
  return core->Poll();
}
std::size_t TcpSocket::RunFor(std::chrono::milliseconds duration) {
  const std::shared_ptr<Core> core = core_;
  return core->RunFor(duration);
}

}  // namespace nimbo

// The connection of every back end: parses the connection text, holds the back end that
// OpenBackend chose for it, and the limits every command on it runs under.
#ifndef NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_
#define NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/record_source.h"
#include "platform/db/backend.h"
#include "platform/db/command_limits.h"

namespace nimbo::db {

class ClientConnection : public Connection {
 public:
  void Open(std::string_view connection_text) override;
  void Close() override;
  int State() const override { return backend_ ? kStateOpen : kStateClosed; }
  std::vector<std::string> Warnings() const override {
    return backend_ ? backend_->Warnings() : std::vector<std::string>();
  }
  void CommandTimeout(std::int32_t seconds) override;
  std::int32_t CommandTimeout() const override { return timeout_seconds_; }
  void MaxRecordsetBytes(std::int64_t bytes) override;
  std::int64_t MaxRecordsetBytes() const override { return max_bytes_; }

  // The open back end, or null when closed.
  Backend* backend() const { return backend_.get(); }
  // The limits of the next command.
  CommandLimits limits() const;

 private:
  std::unique_ptr<Backend> backend_;
  std::int32_t timeout_seconds_ = kDefaultCommandTimeout;
  std::int64_t max_bytes_ = kDefaultMaxRecordsetBytes;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

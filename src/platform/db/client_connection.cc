// Opening and closing a connection, and its limits: the back end is chosen from the connection
// text.
#include "platform/db/client_connection.h"

#include "nimbo/error.h"

namespace nimbo::db {

void ClientConnection::Open(std::string_view connection_text) {
  if (backend_) throw Error(err::kObjectOpen);
  backend_ = OpenBackend(ConnectionText::Parse(connection_text), limits());
}

void ClientConnection::Close() {
  if (!backend_) throw Error(err::kObjectClosed);
  backend_.reset();
}

void ClientConnection::CommandTimeout(std::int32_t seconds) {
  if (seconds < 0) throw Error(err::kArgumentsWrongType);
  timeout_seconds_ = seconds;
}

void ClientConnection::MaxRecordsetBytes(std::int64_t bytes) {
  if (bytes < 0) throw Error(err::kArgumentsWrongType);
  max_bytes_ = bytes;
}

CommandLimits ClientConnection::limits() const {
  CommandLimits limits;
  limits.timeout = std::chrono::seconds(timeout_seconds_);
  limits.max_bytes = static_cast<std::uint64_t>(max_bytes_);
  return limits;
}

}  // namespace nimbo::db

// The connection of every back end: parses the connection text and holds the back end that
// OpenBackend chose for it.
#ifndef NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_
#define NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

#include <memory>
#include <string_view>

#include "nimbo/record_source.h"
#include "platform/db/backend.h"

namespace nimbo::db {

class ClientConnection : public Connection {
 public:
  void Open(std::string_view connection_text) override;
  void Close() override;
  int State() const override { return backend_ ? kStateOpen : kStateClosed; }

  // The open back end, or null when closed.
  Backend* backend() const { return backend_.get(); }

 private:
  std::unique_ptr<Backend> backend_;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

// The connection of every back end: parses the connection text and holds the back end that
// OpenBackend chose for it.
#ifndef NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_
#define NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/record_source.h"
#include "platform/db/backend.h"

namespace nimbo::db {

class ClientConnection : public Connection {
 public:
  void Open(std::string_view connection_text) override;
  void Close() override;
  int State() const override { return backend_ ? kStateOpen : kStateClosed; }
  std::vector<std::string> Warnings() const override {
    return backend_ ? backend_->Warnings() : std::vector<std::string>();
  }

  // The open back end, or null when closed.
  Backend* backend() const { return backend_.get(); }

 private:
  std::unique_ptr<Backend> backend_;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_CLIENT_CONNECTION_H_

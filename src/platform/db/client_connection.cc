// Opening and closing a connection: the back end is chosen from the connection text.
#include "platform/db/client_connection.h"

#include "nimbo/error.h"

namespace nimbo::db {

void ClientConnection::Open(std::string_view connection_text) {
  if (backend_) throw Error(err::kObjectOpen);
  backend_ = OpenBackend(ConnectionText::Parse(connection_text));
}

void ClientConnection::Close() {
  if (!backend_) throw Error(err::kObjectClosed);
  backend_.reset();
}

}  // namespace nimbo::db

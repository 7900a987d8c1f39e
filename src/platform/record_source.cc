// The factory of the record-source objects.
#include "nimbo/record_source.h"

#include "platform/db/client_connection.h"
#include "platform/db/client_recordset.h"
#include "platform/memory_stream.h"

namespace nimbo {

std::shared_ptr<Connection> CreateConnection() { return std::make_shared<db::ClientConnection>(); }

std::shared_ptr<Recordset> CreateRecordset() { return db::CreateClientRecordset(); }

std::shared_ptr<Stream> CreateStream() { return std::make_shared<MemoryStream>(); }

}  // namespace nimbo

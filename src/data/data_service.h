// The data service: the one owner of the database connection, handing out detached read-only
// record sets; and ReadData, the gate in front of it that reads only while ActivePort is 80.
#ifndef NIMBO_SRC_DATA_DATA_SERVICE_H_
#define NIMBO_SRC_DATA_DATA_SERVICE_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "control/control_state.h"
#include "nimbo/record_source.h"

namespace nimbo {

class Srv {
 public:
  // Connects to the database named by pCS (a database file; a full connection text with a
  // "Data Source" key is taken as it is). Closes an earlier connection first. True when the
  // connection is open; on failure the service has no connection. Never raises.
  bool ConnectionString(const std::string& pCS);

  // The limits of every later read and connection: how long one may run, in seconds, and how
  // much memory its records may take, in bytes (0: no limit). Until set, the record source's
  // defaults.
  void Limits(std::int32_t timeout_seconds, std::int64_t max_bytes);

  // Runs SQLQuery into a new client-side, forward-only, read-only record set, cut from the
  // connection and positioned on its first record, and points mRS at it. On any failure mRS is
  // emptied and the result is False. Never raises.
  bool ReadRecordset(const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS);

  // Whether the service holds an open connection.
  bool connected() const { return connection_ && connection_->State() == kStateOpen; }
  // What the user should know about how the open connection was made (empty when nothing).
  std::vector<std::string> warnings() const {
    return connected() ? connection_->Warnings() : std::vector<std::string>();
  }
  // The connection text last built by ConnectionString.
  const std::string& connection_text() const { return connection_text_; }
  // The description of the last failure (empty after a success), for hosts that want to say
  // more than the component's fixed messages.
  const std::string& last_error() const { return last_error_; }
  // The number of the last failure (0 after a success).
  int last_error_number() const { return last_error_number_; }

 private:
  // Keeps a failure's number and description for last_error() and last_error_number().
  void Failed(const std::exception_ptr& failure);

  std::shared_ptr<Connection> connection_;
  std::string connection_text_;
  std::string last_error_;
  int last_error_number_ = 0;
  std::int32_t timeout_seconds_ = kDefaultCommandTimeout;
  std::int64_t max_bytes_ = kDefaultMaxRecordsetBytes;
};

// Hands the control's read limits (CommandTimeout, RecordsetMemoryLimit) to its data service.
void ApplyReadLimits(ControlState& s);

// Reads SQLQuery into mRS through the data service, within the control's read limits.
// While ActivePort is not 80 nothing is read, mRS is left as it is and the result is False
// ("Please set ActivePort to 80" with Talking). A failed read returns False ("Unable to Access
// Data for the SQL : " and the text, with Talking; when a limit of the record source stopped
// the read, a second line names it). Raises 91 when no data service exists yet; the caller's
// handler reports it.
bool ReadData(ControlState& s, const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS);

}  // namespace nimbo

#endif  // NIMBO_SRC_DATA_DATA_SERVICE_H_

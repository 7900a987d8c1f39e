// The data service and the ActivePort gate.
#include "data/data_service.h"

#include <cctype>
#include <exception>

#include "control/diagnostics.h"
#include "nimbo/error.h"

namespace nimbo {
namespace {

// True when a text is already a connection text rather than a file: it starts with one of the
// keys a connection text starts with. Looking only at the start keeps a file name that merely
// contains such text a file name.
bool IsConnectionText(const std::string& text) {
  std::string head;
  for (char c : text) {
    if (c == '=') break;
    if (c != ' ' && c != '\t') head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head.size() > 16) return false;
  }
  return head == "datasource" || head == "provider";
}

// A file path as the value of the "Data Source" key: quoted, so that a ";" or "=" in a file
// name cannot end the value or add keys of its own.
std::string DataSourceValue(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool Srv::ConnectionString(const std::string& pCS) {
  try {
    connection_text_ = IsConnectionText(pCS)
                           ? pCS
                           : "Provider=Nimbo.SQLite.1;Data Source=" +
                                 DataSourceValue(pCS) + ";Persist Security Info=False";
    if (connection_) {
      auto old = std::move(connection_);
      if (old->State() == kStateOpen) old->Close();
    }
    auto connection = CreateConnection();
    connection->Open(connection_text_);
    connection_ = std::move(connection);
    last_error_.clear();
    return true;
  } catch (...) {
    connection_.reset();
    last_error_ = AsError(std::current_exception()).description();
    return false;
  }
}

bool Srv::ReadRecordset(const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS) {
  try {
    mRS = CreateRecordset();
    mRS->ActiveConnection(connection_);
    mRS->CursorLocation(kUseClient);
    mRS->CursorType(kOpenForwardOnly);
    mRS->LockType(kLockReadOnly);
    mRS->Open(SQLQuery);
    mRS->ActiveConnection(nullptr);
    last_error_.clear();
    return true;
  } catch (...) {
    mRS.reset();
    last_error_ = AsError(std::current_exception()).description();
    return false;
  }
}

bool ReadData(ControlState& s, const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS) {
  if (s.ActivePort != 80) {
    Talk(s, [] { return std::string("Please set ActivePort to 80"); });
    return false;
  }
  if (!s.mSrv) throw Error(err::kObjectNotSet);
  const bool ok = s.mSrv->ReadRecordset(SQLQuery, mRS);
  if (!ok) Talk(s, [&] { return "Unable to Access Data for the SQL : " + SQLQuery; });
  return ok;
}

}  // namespace nimbo

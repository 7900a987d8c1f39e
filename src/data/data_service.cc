// The data service and the ActivePort gate.
#include "data/data_service.h"

#include <cctype>
#include <exception>
#include <string>

#include "control/diagnostics.h"
#include "nimbo/error.h"
#include "nimbo/record_source.h"

namespace nimbo {
namespace {

// True when a text is already a connection text rather than a file: it starts with one of the
// keys a connection text starts with. Looking only at the start keeps a file name that merely
// contains such text a file name.
bool IsConnectionText(const std::string& text) {
  std::string head;
  for (char c : text) {
    if (c == '=') break;
    if (c != ' ' && c != '\t')
      head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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

// Whether a failure is one of the record source's limits rather than a fault of the command.
bool IsLimit(int number) {
  return number == err::kNestedTooDeep || number == err::kQueryTimeout ||
         number == err::kRecordsetTooLarge;
}

// What a query reads, for a diagnostic: "procedure NAME" for an EXEC call, "a query" otherwise.
std::string ReadWhat(const std::string& query) {
  std::size_t i = query.find_first_not_of(" \t\r\n");
  if (i == std::string::npos || query.size() - i < 5) return "a query";
  std::string head = query.substr(i, 4);
  for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (head != "EXEC" || !std::isspace(static_cast<unsigned char>(query[i + 4]))) return "a query";
  i = query.find_first_not_of(" \t\r\n", i + 4);
  if (i == std::string::npos) return "a query";
  std::size_t end = i;
  while (end < query.size() && (std::isalnum(static_cast<unsigned char>(query[end])) ||
                                query[end] == '_' || query[end] == '.')) {
    ++end;
  }
  if (end == i) return "a query";
  return "procedure " + query.substr(i, end - i);
}

}  // namespace

bool Srv::ConnectionString(const std::string& pCS) {
  try {
    connection_text_ = IsConnectionText(pCS)
                           ? pCS
                           : "Provider=Nimbo.SQLite.1;Data Source=" + DataSourceValue(pCS) +
                                 ";Persist Security Info=False";
    if (connection_) {
      auto old = std::move(connection_);
      if (old->State() == kStateOpen) old->Close();
    }
    auto connection = CreateConnection();
    connection->CommandTimeout(timeout_seconds_);
    connection->MaxRecordsetBytes(max_bytes_);
    connection->Open(connection_text_);
    connection_ = std::move(connection);
    last_error_.clear();
    last_error_number_ = 0;
    return true;
  } catch (...) {
    connection_.reset();
    Failed(std::current_exception());
    return false;
  }
}

void Srv::Limits(std::int32_t timeout_seconds, std::int64_t max_bytes) {
  timeout_seconds_ = timeout_seconds;
  max_bytes_ = max_bytes;
}

bool Srv::ReadRecordset(const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS) {
  try {
    if (connection_) {
      connection_->CommandTimeout(timeout_seconds_);
      connection_->MaxRecordsetBytes(max_bytes_);
    }
    mRS = CreateRecordset();
    mRS->ActiveConnection(connection_);
    mRS->CursorLocation(kUseClient);
    mRS->CursorType(kOpenForwardOnly);
    mRS->LockType(kLockReadOnly);
    mRS->Open(SQLQuery);
    mRS->ActiveConnection(nullptr);
    last_error_.clear();
    last_error_number_ = 0;
    return true;
  } catch (...) {
    mRS.reset();
    Failed(std::current_exception());
    return false;
  }
}

void Srv::Failed(const std::exception_ptr& failure) {
  const Error error = AsError(failure);
  last_error_ = error.description();
  last_error_number_ = error.number();
}

void ApplyReadLimits(ControlState& s) {
  if (!s.mSrv) throw Error(err::kObjectNotSet);
  s.mSrv->Limits(s.CommandTimeout, std::int64_t{s.RecordsetMemoryLimit} << 20);
}

bool ReadData(ControlState& s, const std::string& SQLQuery, std::shared_ptr<Recordset>& mRS) {
  if (s.ActivePort != 80) {
    Talk(s, [] { return std::string("Please set ActivePort to 80"); });
    return false;
  }
  ApplyReadLimits(s);
  const bool ok = s.mSrv->ReadRecordset(SQLQuery, mRS);
  if (!ok) {
    Talk(s, [&] { return "Unable to Access Data for the SQL : " + SQLQuery; });
    // A read that a limit stopped says which, or the designer is left guessing why a query that
    // is correct failed.
    if (IsLimit(s.mSrv->last_error_number())) {
      Talk(s, [&] { return s.mSrv->last_error(); });
    } else {
      // The database's own words (a missing table or column, a malformed call) and what was
      // being read: the procedure's name only. Its arguments come from node texts, that is
      // from record values, so they stay out of a line meant for a log.
      Talk(s, [&] {
        const std::string what = ReadWhat(SQLQuery);
        const std::string& cause = s.mSrv->last_error();
        // The record source often names the procedure itself; it is not said twice.
        if (what.size() > 10 && cause.find(what.substr(10)) != std::string::npos) {
          return "Cause: " + cause;
        }
        return "Cause: " + cause + " (reading " + what + ")";
      });
    }
  }
  return ok;
}

}  // namespace nimbo

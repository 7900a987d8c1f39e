// Reading the browser definition at refresh.
#include "data/startup_load.h"

#include <exception>
#include <memory>
#include <string>

#include "control/app_files.h"
#include "control/diagnostics.h"
#include "data/data_service.h"
#include "platform/text_file.h"

namespace nimbo {
namespace {

constexpr char kReadError[] = "Error Reading Data From Database";

// Field 3 of the current record as text, Null giving the empty text. Raises 91 when the last
// read left no record set.
std::string Field3Text(const std::shared_ptr<Recordset>& rs) {
  if (!rs) throw Error(err::kObjectNotSet);
  const Variant value = rs->Fields().Item(3).Value();
  return value.IsNull() ? std::string() : value.ToText();
}

}  // namespace

void LoadBrowser(ControlState& s) {
  try {
    if (!s.mSrv) s.mSrv = std::make_shared<Srv>();
    // A service whose connection failed tries again at each load, so that a database that was
    // locked, missing or unreadable at start-up is read once it is back, without a restart.
    if (!s.mSrv->connected()) {
      ApplyReadLimits(s);
      if (!s.mSrv->ConnectionString(s.ConnectionString.ToText())) {
        s.events->NimboMessage("Connection cannot be established.");
        // Why: a missing or unreadable file, one that is no database, a server that refused.
        Talk(s, [&] { return "Cause: " + s.mSrv->last_error(); });
        return;
      }
      for (const std::string& warning : s.mSrv->warnings()) Talk(s, [&] { return warning; });
    }
    s.PagePath = AppFilePath(s, "oDatNav.htm");

    if (!ReadData(s, "EXEC xspb1", s.mRS)) {
      s.events->NimboMessage(kReadError);
      return;
    }
    s.NavRows = s.mRS->GetRows();

    if (!ReadData(s, "EXEC xspb2", s.mRS)) {
      s.events->NimboMessage(kReadError);
      return;
    }
    s.SectionRows = s.mRS->GetRows();

    if (!ReadData(s, "EXEC xspb3 @I1=1", s.mRS)) s.events->NimboMessage(kReadError);
    s.PageHeader = Field3Text(s.mRS);
    WriteOneLineFile(AppFilePath(s, "fp.htm"), s.PageHeader);

    if (!ReadData(s, "EXEC xspb3 @I1=2", s.mRS)) s.events->NimboMessage(kReadError);
    s.PageHeader = Field3Text(s.mRS) + kHeaderTemplate;
  } catch (...) {
    ReportError(s, AsError(std::current_exception()));
  }
}

}  // namespace nimbo

// The control state: every member of one component instance, named as the component names
// them. Subsystems are functions over the parts of it they need.
#ifndef NIMBO_SRC_CONTROL_CONTROL_STATE_H_
#define NIMBO_SRC_CONTROL_CONTROL_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "nimbo/clock.h"
#include "nimbo/container.h"
#include "nimbo/error.h"
#include "nimbo/events.h"
#include "nimbo/record_source.h"
#include "nimbo/rows.h"
#include "nimbo/socket.h"
#include "nimbo/tree_view.h"
#include "nimbo/variant.h"
#include "nimbo/web_browser.h"

namespace nimbo {

class Srv;

struct ControlState {
  // Design-time setting; data access runs only while it is 80.
  std::int16_t ActivePort = 0;
  // Design-time setting kept for the data-access mode; nothing reads it yet.
  std::int16_t DAMode = 0;
  // Role of the current user, checked against each navigation row's role list.
  std::int16_t UserRole = 0;
  // Whether the user may mail the report.
  bool CanMail = false;
  // The database the component connects to, kept exactly as the host passed it.
  Variant ConnectionString;
  // The data service; created by the first start-up load and kept.
  std::shared_ptr<Srv> mSrv;
  // How long one read may run, in seconds (0: no limit).
  std::int32_t CommandTimeout = kDefaultCommandTimeout;
  // How much memory the records of one read may take, in MiB (0: no limit).
  std::int32_t RecordsetMemoryLimit = static_cast<std::int32_t>(kDefaultMaxRecordsetBytes >> 20);
  // Step of the SMTP conversation.
  std::int16_t MailStep = 0;
  std::string Server;
  std::string FromName;
  std::string FromID;
  std::string ToName;
  std::string ToID;
  std::string ReplyToName;
  std::string ReplyToID;
  std::string Subject;
  std::string Message;
  // Mail text assembled for sending; emptied once sent.
  std::string MailData;
  // The server's reply received so far, kept until its last line is complete.
  std::string mail_reply;
  // The host's socket.
  std::shared_ptr<Socket> ws;
  // Folder of the page files and images, kept exactly as the host passed it.
  Variant ApplicationFolder;
  // Report heading; fills %StoreName% of the page header.
  std::string Heading;
  // Pattern for values of the date kind.
  std::string DateFormat;
  // Whether the report page ends with the selected node's full path.
  bool DisplayPath = false;
  // Whether diagnostics are raised through BlaBla.
  bool Talking = false;
  // The host's tree view and web browser.
  std::shared_ptr<TreeView> mTV;
  std::shared_ptr<WebBrowser> mBM;
  // Work reference: the root after a refresh, then each node that display adds.
  std::shared_ptr<Node> mNode;
  // Record set of the most recent read.
  std::shared_ptr<Recordset> mRS;
  // Full path of the report page file.
  std::string PagePath;
  // The report page header template.
  std::string PageHeader;
  // True when the node being displayed had no children when its display began.
  bool NeedChildren = false;
  // The navigation rows, indexed (field, row).
  Rows NavRows;
  // The section rows, indexed (field, row).
  Rows SectionRows;

  // Host wiring that is not a property: the container, the event sink (never null) and the
  // clock (never null).
  std::shared_ptr<Container> container;
  std::shared_ptr<Events> events;
  std::shared_ptr<Clock> clock;
};

// The host's controls, raising 91 when the host has not handed them in.
inline TreeView& Tree(const ControlState& s) {
  if (!s.mTV) throw Error(err::kObjectNotSet);
  return *s.mTV;
}
inline WebBrowser& Browser(const ControlState& s) {
  if (!s.mBM) throw Error(err::kObjectNotSet);
  return *s.mBM;
}
// The tree's selected node (91 when there is none).
inline std::shared_ptr<Node> SelectedNode(const ControlState& s) {
  auto node = Tree(s).SelectedItem();
  if (!node) throw Error(err::kObjectNotSet);
  return node;
}

}  // namespace nimbo

#endif  // NIMBO_SRC_CONTROL_CONTROL_STATE_H_

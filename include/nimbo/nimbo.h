// nimbo::Nimbo: the Data Browser component. A host creates one per form, lets the container run
// InitProperties or ReadProperties, hands in its tree view and web browser (SetControls) and, to
// mail, its socket (SetWinSock), sets the run-time properties and then drives the component
// through its methods. The component speaks back only through nimbo::Events.
//
// Properties follow the classic control: all are write-only except ActivePort and DAMode, which
// may be set and read only at design time (the container's UserMode False); a setter that
// cannot convert its value raises nimbo::Error and leaves the stored value unchanged.
// Thread-safety: one thread, the host's; nothing is locked.
#ifndef NIMBO_NIMBO_H_
#define NIMBO_NIMBO_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "nimbo/clock.h"
#include "nimbo/container.h"
#include "nimbo/events.h"
#include "nimbo/export.h"
#include "nimbo/socket.h"
#include "nimbo/tree_view.h"
#include "nimbo/variant.h"
#include "nimbo/web_browser.h"

namespace nimbo {

// The library's version, "major.minor.patch", as nimbo/version.h gives it.
NIMBO_API std::string_view Version();

struct ControlState;   // the whole control state; private to the library
struct ControlAccess;  // the library's own way into it

class NIMBO_API Nimbo {
 public:
  // `container` is the hosting container (never null); `events` receives the six events (null:
  // events are dropped).
  Nimbo(std::shared_ptr<Container> container, std::shared_ptr<Events> events);
  ~Nimbo();
  Nimbo(const Nimbo&) = delete;
  Nimbo& operator=(const Nimbo&) = delete;

  // Container life cycle: exactly one of InitProperties and ReadProperties runs first.
  // A new instance: ApplicationFolder " ", ConnectionString " ", ActivePort 0.
  void InitProperties();
  // A saved instance: reads "ApplicationFolder", "ConnectionString", "ActivePort", "DAMode"
  // (missing keys take their defaults). Raises the conversion error of a stored value that is
  // not a 16-bit integer.
  void ReadProperties(PropertyBag& bag);
  // Writes the four persisted properties; values equal to their defaults are not stored.
  void WriteProperties(PropertyBag& bag) const;

  // Design-time only: raise 382 (set) or 393 (read) while the container is in user mode.
  // The value is converted to a 16-bit integer (half to even; 6 Overflow, 13 Type mismatch).
  void ActivePort(const Variant& value);
  std::int16_t ActivePort() const;
  void DAMode(const Variant& value);
  std::int16_t DAMode() const;

  // Write-only properties. Persisted ones send the property-changed notice.
  void ApplicationFolder(const Variant& value);
  void ConnectionString(const Variant& value);
  void CanMail(bool value);
  void DateFormat(const std::string& value);
  void DisplayPath(bool value);
  void Talking(bool value);
  // Converted to text (94 for Null).
  void Heading(const Variant& value);
  void FromName(const Variant& value);
  void FromID(const Variant& value);
  void Message(const Variant& value);
  void ReplyToName(const Variant& value);
  void ReplyToID(const Variant& value);
  void Server(const Variant& value);
  void Subject(const Variant& value);
  void ToName(const Variant& value);
  void ToID(const Variant& value);
  // Converted to a 16-bit integer, half to even.
  void UserRole(const Variant& value);
  // Limits on every read of the database, so that a runaway query fails like any failed read
  // (with a diagnostic naming the limit) instead of holding the host for minutes and taking its
  // memory. How long one query may run, in seconds, waits for another program's lock included
  // (default 30); and how much memory the records of one query may take, in MiB (default 1024,
  // ample for a page of a million records). 0 sets no limit. Converted to a 32-bit integer,
  // half to even; a negative value raises 5. They apply from the next read.
  void CommandTimeout(const Variant& seconds);
  void RecordsetMemoryLimit(const Variant& megabytes);

  // Hands in the host's tree view and web browser, replacing earlier ones, and sets the tree's
  // LabelEdit to 1 (manual). Raises 91 when the tree view is null (both are stored first).
  void SetControls(std::shared_ptr<TreeView> mTV, std::shared_ptr<WebBrowser> mBM);
  // Hands in the host's socket, replacing an earlier one. For nimbo::TcpSocket,
  // WireMailSocket (nimbo/mail_wiring.h) does this and forwards its notifications.
  void SetWinSock(std::shared_ptr<Socket> ws);

  // Reloads the browser definition from the database, rebuilds the tree under its root
  // "Data Browser", displays the root and shows the front page. A failing step is passed over
  // and the next one runs; failures reach the host only as events.
  void RefreshBrowser();
  // Displays a node of the host's tree view (normally its SelectedItem): loads its children
  // when it has none, and writes and shows its report page. Raises Busy True at the start and
  // Busy False at the end, on every path. Never raises.
  void DisplayFor(const std::shared_ptr<Node>& Node);

  // Handles a navigation request of the browser. For a record link (an address holding "^",
  // then a five-character form number, then the record id) raises LogIt "Form" and OpenForm and
  // returns True: the browser is not to follow it. Any other address returns False. Never
  // raises.
  bool ProcessURL(const Variant& URL);

  // Save and print whatever the browser shows, through its own commands (ExecWB save-as and
  // print, letting the browser ask the user). A failing command raises NimboMessage
  // "<command> command Error: <description>"; then LogIt "Save" or "Print" with the selected
  // node's full path (skipped silently when no node is selected). Never raise.
  void SavePage();
  void PrintPage();

  // Starts mailing the shown report page and its images to ToID through the socket handed in
  // with SetWinSock: encodes the eight attachment files of the application folder, connects to
  // Server ("host" or "host:port", port 25 by default) and waits for the greeting. With CanMail
  // False raises NimboMessage "Sorry! You are not authorised to E-Mail the Report" and connects
  // to nothing. A line break in an address, a name or the Subject would smuggle commands or
  // header lines into the mail: SendMail then raises a NimboMessage naming the value and
  // connects to nothing. Either way it ends with LogIt "E-Mail". Raises nimbo::Error (an
  // unreadable attachment, a port that is not a number, a refused Connect, no selected node).
  void SendMail();
  // The socket's data arrival: reads what arrived and, once the server's reply is complete,
  // sends the next command or the message. The outcome reaches the user as NimboMessage
  // "Message Sent Successfully." or "SMTP Error: " and the reply. Errors of the socket pass to
  // the caller.
  void ProcessWSData(std::int32_t bytesTotal);
  // The socket's error: raises NimboMessage "Winsock Error #: ", Number, CR LF, Description.
  void HandleWSError(std::int16_t Number, const std::string& Description);

  // Replaces the clock the component reads the current date and time from.
  void SetClock(std::shared_ptr<Clock> clock);

 private:
  // Runs one browser command by name ("Save As", "Print"); a failure becomes a NimboMessage.
  void ExecPageCommand(const std::string& command_name);

  friend struct ControlAccess;  // the library's own subsystems, through a private header

  std::unique_ptr<ControlState> state_;
};

}  // namespace nimbo

#endif  // NIMBO_NIMBO_H_

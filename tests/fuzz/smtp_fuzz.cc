// The SMTP conversation on any sequence of server data, arriving in any pieces, with any message
// text. A scripted socket hands each piece to the component as the host would and stops once the
// component closes it; data left when the script runs out is the server closing the connection.
// Checked: nothing is sent after the close; a command goes out only in answer to a complete
// reply, and the commands keep their order; the user hears one outcome, a success only after
// QUIT went out; an outcome quotes at most the reply limit; the data section has CR LF line ends
// and every line beginning with "." doubled, so the message comes back whole when the stuffing
// is undone.
//
// Input: message NUL piece NUL piece ...; a piece that begins with byte 1 is the rest of it
// repeated 1,000 times (a long or endless reply).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_access.h"
#include "fuzz_check.h"
#include "mail/smtp_conversation.h"
#include "nimbo/container.h"
#include "nimbo/error.h"
#include "nimbo/events.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "nimbo/socket.h"

namespace {

using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;

class ScriptedSocket : public nimbo::Socket {
 public:
  void Connect(const std::string&, std::int32_t) override { ++connects; }
  void GetData(std::string& data) override {
    data.swap(pending);
    pending.clear();
  }
  void SendData(const std::string& data) override {
    Check(!closed, "nothing is sent after the socket is closed");
    sent.push_back(data);
  }
  void Close() override { closed = true; }

  int connects = 0;
  bool closed = false;
  std::string pending;
  std::vector<std::string> sent;
};

class Messages : public nimbo::Events {
 public:
  void NimboMessage(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

// The application folder, made once and removed at exit: a page, and a picture of 14 bytes,
// whose uuencoded line begins with "." (the count character of 14).
class Folder {
 public:
  Folder() {
    std::string name = (std::filesystem::temp_directory_path() / "nimbo-smtp-fuzz-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) Fail("mkdtemp failed");
    path_ = name;
    std::ofstream(path_ + "/oDatNav.htm", std::ios::binary)
        << "<html>\r\n.<body>\r\n.\r\n</html>\r\n";
    std::ofstream(path_ + "/pic1", std::ios::binary) << "fourteen bytes";
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Line breaks as the data section must carry them: CR LF, a lone CR and a lone LF each make one.
std::string WithCrLf(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

// Checks the data section (everything sent between DATA and QUIT) and returns it unstuffed.
std::string Unstuffed(const std::string& section) {
  Check(section.size() >= 5 && section.compare(section.size() - 5, 5, "\r\n.\r\n") == 0,
        "the data section ends with a line of one \".\"");
  const std::string_view body(section.data(), section.size() - 3);
  std::string out;
  std::size_t start = 0;
  while (start < body.size()) {
    const std::size_t end = body.find("\r\n", start);
    Check(end != std::string_view::npos, "the data section's lines end in CR LF");
    std::string_view line = body.substr(start, end - start);
    Check(line.find_first_of("\r\n") == std::string_view::npos,
          "no bare CR or LF in the data section");
    if (!line.empty() && line[0] == '.') {
      Check(line.size() >= 2 && line[1] == '.', "a line beginning with \".\" is doubled");
      line.remove_prefix(1);
    }
    out.append(line);
    out += "\r\n";
    start = end + 2;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      nimbo::fuzz::SplitAtNul(nimbo::fuzz::AsText(data, size));

  auto events = std::make_shared<Messages>();
  nimbo::Nimbo control(std::make_shared<nimbo::RunTimeContainer>(), events);
  auto tree = std::make_shared<nimbo::MemoryTreeView>();
  auto root = tree->Add();
  root->Text("Data Browser");
  root->Selected(true);
  control.SetControls(tree, nullptr);
  auto socket = std::make_shared<ScriptedSocket>();
  control.SetWinSock(socket);
  static const Folder folder;
  control.ApplicationFolder(folder.path());
  control.CanMail(true);
  control.Server("mail.example:25");
  control.FromName("Ann");
  control.FromID("ann@example.org");
  control.ToName("Bob");
  control.ToID("bob@example.org");
  control.Subject("Report");
  control.Message(std::string(parts[0]));
  control.SendMail();
  Check(socket->connects == 1, "SendMail connects once");

  std::size_t line_ends = 0;
  bool lost = false;
  for (std::size_t i = 1; i < parts.size() && !socket->closed; ++i) {
    std::string piece(parts[i]);
    if (!piece.empty() && piece[0] == '\x01') {
      std::string repeated;
      for (int n = 0; n < 1000; ++n) repeated.append(piece, 1);
      piece = std::move(repeated);
    }
    for (char c : piece) line_ends += c == '\n';
    const std::size_t sent_before = socket->sent.size();
    socket->pending = piece;
    control.ProcessWSData(static_cast<std::int32_t>(piece.size()));
    Check(socket->sent.size() == sent_before || line_ends > 0,
          "nothing is sent before a reply is complete");
  }
  if (!socket->closed) {
    lost = true;
    nimbo::MailConnectionLost(nimbo::StateOf(control));
  }

  // The commands, the data section as one send, in order.
  std::vector<std::string> commands;
  std::string section;
  bool in_section = false;
  for (const std::string& send : socket->sent) {
    if (in_section && send == "QUIT\r\n") {
      commands.push_back(section);
      in_section = false;
    }
    if (in_section) {
      section += send;
      continue;
    }
    commands.push_back(send);
    if (send == "DATA\r\n") in_section = true;
  }
  if (in_section && !section.empty()) commands.push_back(section);
  const std::vector<std::string> expected = {"HELO ann\r\n", "MAIL FROM:ann@example.org\r\n",
                                             "RCPT TO:bob@example.org\r\n", "DATA\r\n"};
  Check(commands.size() <= expected.size() + 2, "no command beyond QUIT");
  for (std::size_t i = 0; i < commands.size() && i < expected.size(); ++i) {
    Check(commands[i] == expected[i],
          "command " + std::to_string(i) + " in its place: " + commands[i]);
  }
  Check(commands.size() <= line_ends, "each command answers a complete reply");
  if (commands.size() > expected.size()) {
    const std::string message = Unstuffed(commands[expected.size()]);
    Check(message.find("\r\n\r\n" + WithCrLf(parts[0]) + "\r\n\r\n") != std::string::npos,
          "the message comes back whole from the data section");
    Check(message.find("begin 664 pic1\r\n") != std::string::npos, "the picture is attached");
  }

  Check(events->texts.size() <= 1, "one outcome at most");
  if (lost) Check(events->texts.size() == 1, "a lost connection is told to the user");
  for (const std::string& text : events->texts) {
    Check(text.size() <= 64 + nimbo::kMaxMailReplyBytes, "an outcome quotes at most the limit");
    if (text == "Message Sent Successfully.") {
      Check(commands.size() == expected.size() + 2 && commands.back() == "QUIT\r\n",
            "success only after QUIT went out");
    }
  }
  return 0;
}

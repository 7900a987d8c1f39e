// The attachment encoder of report mail: one file turned into a uuencoded block of text.
// Stateless; safe to call from any thread.
#ifndef NIMBO_SRC_MAIL_UUENCODE_H_
#define NIMBO_SRC_MAIL_UUENCODE_H_

#include <string>

namespace nimbo {

// The uuencoded text of the file at `path`, every line ended by "\r\n": "begin 664 " and the
// file name (the part of the path after its last "/" or "\"), one line per 45 bytes plus one
// for the rest when the length is not a multiple of 45, a line of one grave accent, and "end". The
// file is read as raw bytes. Returns the empty string when nothing exists at `path`. Throws
// nimbo::Error 75 (Path/File access error) when something exists there but cannot be read as a file
// (a directory, a pipe, no permission, a read failure, a file cut short while it is read). The
// check for the file and its opening are one step, so a file that vanishes in between counts
// as missing.
std::string UUEncodeFile(const std::string& path);

}  // namespace nimbo

#endif  // NIMBO_SRC_MAIL_UUENCODE_H_

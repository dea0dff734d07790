#pragma once
// The text of one activity-log line as the log file, the window and standard
// output show it. Logged texts carry message data (subjects, addresses,
// extracted values, server replies); a line feed in them would write a line of
// the sender's choosing, and escape sequences would drive the terminal that
// shows standard output. Only the shown copy changes: actions keep the bytes.

#include <string>
#include <string_view>

namespace quor {

// `text` as one visible line: a trailing line end (LF or CR LF, as a server
// reply keeps it) is dropped; every other control character but tab, C0 and
// DEL as well as the C1 characters in their UTF-8 form (C2 80 to C2 9F), is
// shown as an escape: "\r", "\n", or "\x" and two lowercase hex digits per
// byte ("\x1b", "\xc2\x9b"). All other bytes stay as they are.
std::string LogLineText(std::string_view text);

}  // namespace quor

#pragma once
// Sorts the lines of a message as they arrive: header lines fill the header
// fields, body lines go to the message text, and the bodies of MIME parts with
// a transfer encoding are diverted into attachments, decoded on the way.
// One pass, one boundary at a time; folded headers are not joined.
//
// Buffers grow as needed: the announced size is only a hint.

#include <cstddef>

#include "message/mail_message.h"

class MessageParser {
 public:
  // Resets the parser state and starts filling `message` (already cleared).
  void BeginParse(MailMessage& message, size_t announced_size);
  // One line ending in a single '\n', or a 512-byte piece without one.
  void ParseLine(const char* line, size_t length);
  // Ends the message: an attachment whose closing delimiter never came is
  // recorded with what it holds.
  void EndParse();
};

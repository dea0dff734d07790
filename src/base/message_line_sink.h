#pragma once
// Receives a retrieved message as it arrives, line by line. The POP3 client
// reads the lines off the connection and undoes the byte-stuffing; whoever
// retrieves owns the sink and decides what the lines become (the parser turns
// them into a message record). This keeps the conversation and the message
// format apart: neither knows the other.
//
// The calls come in the order BeginMessage, AddMessageLine..., EndMessage, on
// the retrieving thread. EndMessage comes also when the retrieval was cut
// short (the connection dropped, the server fell silent).

#include <cstddef>

namespace quor {

class MessageLineSink {
 public:
  virtual ~MessageLineSink() = default;
  // A message begins. announced_size is the size the server listed, a hint
  // for buffers only: servers count line ends differently, and may lie.
  virtual void BeginMessage(size_t announced_size) = 0;
  // One line ending in a single '\n', or a piece of a longer line without
  // one (the piece that ends the line carries the '\n').
  virtual void AddMessageLine(const char* line, size_t length) = 0;
  // The message is complete, or as complete as it will get.
  virtual void EndMessage() = 0;
};

}  // namespace quor

#include "net/dot_stuffing_output.h"

namespace quor {

void DotStuffingOutput::Write(const char* bytes, size_t count) {
  size_t i = 0;
  while (i < count) {
    if (pending_cr_) {
      // A CR is a line end whether or not its LF follows; a bare one would
      // be taken as a line end by some servers and not by others.
      pending_cr_ = false;
      wire_.Write("\r\n", 2);
      at_line_start_ = true;
      if (bytes[i] == '\n') {
        ++i;
        continue;
      }
    }
    if (at_line_start_ && bytes[i] == '.') wire_.Write(".", 1);
    at_line_start_ = false;
    size_t end = i;
    while (end < count && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    wire_.Write(bytes + i, end - i);
    if (end == count) return;
    if (bytes[end] == '\n') {
      wire_.Write("\r\n", 2);
      at_line_start_ = true;
    } else {
      pending_cr_ = true;
    }
    i = end + 1;
  }
}

void DotStuffingOutput::Finish() {
  if (!pending_cr_) return;
  pending_cr_ = false;
  wire_.Write("\r\n", 2);
  at_line_start_ = true;
}

}  // namespace quor

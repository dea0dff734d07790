#pragma once
// The transparency of an SMTP DATA section: every line end (CR LF, a bare LF
// or a bare CR) leaves as CR LF, and a line beginning with '.' gets one more
// '.', so no content can end the data early or smuggle in a command.
// Streams: the state between writes is one flag and one pending CR. Finish()
// completes a pending CR; call it before anything is written to `wire`
// directly. The wire is borrowed.

#include <cstddef>

#include "base/byte_output.h"

namespace quor {

class DotStuffingOutput : public ByteOutput {
 public:
  explicit DotStuffingOutput(ByteOutput& wire) : wire_(wire) {}
  void Write(const char* bytes, size_t count) override;
  bool Failed() const override { return wire_.Failed(); }
  void Finish();

 private:
  ByteOutput& wire_;
  bool at_line_start_ = true;
  bool pending_cr_ = false;
};

}  // namespace quor

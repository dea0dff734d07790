#pragma once
// A sink for bytes: the codecs and the composer write their output through it
// without knowing whether it ends up in a file (the outgoing multipart body),
// in memory (an attachment of an incoming message) or on a connection (the
// data of an SMTP conversation).
//
// Implementations are borrowed by the codecs, never owned by them, and must
// outlive every codec that writes to them.

#include <cstddef>
#include <string>

namespace quor {

class ByteOutput {
 public:
  virtual ~ByteOutput() = default;
  // Takes `count` bytes; may be called with count 0.
  virtual void Write(const char* bytes, size_t count) = 0;
  // True once the sink has failed (a connection that went away): it drops
  // whatever comes next, so a writer may stop producing early.
  virtual bool Failed() const { return false; }
};

// Appends everything written to a string it borrows. The string grows as
// needed; reserve it beforehand to avoid regrowing for large outputs.
class StringOutput : public ByteOutput {
 public:
  explicit StringOutput(std::string& target) : target_(target) {}
  void Write(const char* bytes, size_t count) override { target_.append(bytes, count); }

 private:
  std::string& target_;
};

}  // namespace quor

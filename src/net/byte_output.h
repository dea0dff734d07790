#pragma once
// A sink for bytes: the codecs write their output through it without knowing
// whether it ends up in a file (the outgoing multipart body) or in memory (an
// attachment of an incoming message).
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

// Feeds arbitrary bytes to the message parser the way the POP client hands
// lines over (512-byte reads, and a second time in small odd pieces), and to
// the codecs. Besides crashes and sanitizer reports it checks the promises the
// rest of the system relies on: nothing stored beyond what arrived, the
// recipient limit, Base64 round trips, and in-place decoding that never grows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fixtures/line_feeder.h"
#include "message/base64_decoder.h"
#include "message/base64_encoder.h"
#include "message/mail_message.h"
#include "message/message_parser.h"
#include "message/quoted_printable.h"

using namespace quor;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FuzzParser(std::string_view text, size_t piece) {
  MailMessage message;
  MessageParser parser;
  ParseWhole(parser, message, text, piece);
  size_t stored = message.text.size();
  for (const MailAttachment& attachment : message.attachments) stored += attachment.data.size();
  // A read may gain one line feed; nothing else is ever added.
  size_t reads = 0;
  for (size_t at = 0; at < text.size(); ++reads) {
    const size_t end = text.find('\n', at);
    const size_t line_end = end == std::string_view::npos ? text.size() : end + 1;
    at += std::min(line_end - at, piece);
  }
  Check(stored <= text.size() + reads);
  Check(!message.recipients || message.recipients->size() <= MessageParser::kRecipientsLimit);
  // The accessors must be usable on whatever came out.
  for (int i = 0; i < message.AttachmentCount(); ++i) Check(message.Attachment(i) != nullptr);
  Check(message.Attachment(message.AttachmentCount()) == nullptr);
  (void)message.Sender();
  (void)message.ReplyAddress();
}

void FuzzCodecs(std::string_view bytes) {
  std::string encoded;
  StringOutput encoded_output(encoded);
  Base64Encoder encoder(encoded_output);
  encoder.Write(bytes.data(), bytes.size());
  encoder.Finish();
  std::string decoded;
  StringOutput decoded_output(decoded);
  Base64Decoder decoder(decoded_output);
  decoder.Write(encoded.data(), encoded.size());
  decoder.Flush();
  Check(decoded == bytes);

  // Arbitrary text through the lenient decoder: at most 3 bytes per 4 values.
  std::string lenient;
  StringOutput lenient_output(lenient);
  Base64Decoder lenient_decoder(lenient_output);
  lenient_decoder.Write(bytes.data(), bytes.size());
  lenient_decoder.Flush();
  Check(lenient.size() <= bytes.size() / 4 * 3 + 3);

  std::string buffer(bytes);
  Check(QpDecode(buffer.data(), buffer.size()) <= bytes.size());
  buffer.assign(bytes);
  size_t unfinished_at = 0;
  const size_t length = QpDecodePiece(buffer.data(), buffer.size(), &unfinished_at);
  Check(unfinished_at <= bytes.size() && bytes.size() - unfinished_at <= 2);
  Check(length <= unfinished_at);
  Check(buffer.compare(unfinished_at, std::string::npos, bytes.substr(unfinished_at)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  FuzzParser(input, kPopPieceSize);
  FuzzParser(input, 1 + size % 61);
  FuzzCodecs(input);
  return 0;
}

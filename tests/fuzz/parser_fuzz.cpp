// Feeds arbitrary bytes to the message parser the way the POP client hands
// lines over (512-byte reads, and a second time in small odd pieces), and to
// the codecs. Besides crashes and sanitizer reports it checks the promises the
// rest of the system relies on: nothing stored beyond what arrived, the
// recipient limit, Base64 round trips, in-place decoding that never grows,
// header decoding that never fails on anything, encoded words that decode
// back to their text, and quoted-printable output that is ASCII in short
// lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fixtures/line_feeder.h"
#include "message/automatic_mail.h"
#include "message/base64_decoder.h"
#include "message/base64_encoder.h"
#include "message/charset_conversion.h"
#include "message/encoded_words.h"
#include "message/header_parameters.h"
#include "message/mail_message.h"
#include "message/message_parser.h"
#include "message/quoted_printable.h"
#include "message/quoted_printable_encoder.h"

using namespace quor;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FuzzParser(std::string_view text, size_t piece, bool decode) {
  MailMessage message;
  MessageParser parser;
  parser.set_decode_text(decode);
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
  Check(message.Subject(HeaderLines::kUnfolded).size() <= MessageParser::kUnfoldedLimit);
  (void)IsAutomaticMessage(message);
  (void)AddressesSender(message, message.Recipient(), message.Sender());
  (void)DecodeEncodedWords(message.Sender(HeaderLines::kUnfolded));
  for (const MailAttachment& attachment : message.attachments) {
    (void)ParameterValue(attachment.disposition, "filename");
    (void)ParameterValue(attachment.content_type, "name");
  }
}

void FuzzInternationalText(std::string_view bytes) {
  (void)DecodeEncodedWords(bytes);
  (void)ParameterValue(bytes, "filename");
  std::string converted;
  (void)ConvertToUtf8(bytes, "ISO-2022-JP", InvalidBytes::kReplace, converted);
  if (ConvertToUtf8(bytes, "UTF-8", InvalidBytes::kReplace, converted)) {
    Check(IsValidUtf8(converted));
  }
  if (IsValidUtf8(bytes)) {
    std::string joined;
    for (const std::string& word : EncodeWords(bytes, 1 + bytes.size() % 80)) {
      Check(word.size() <= kMaxEncodedWord);
      Check(IsAscii(word));
      joined += (joined.empty() ? "" : " ") + word;
    }
    Check(DecodeEncodedWords(joined) == bytes);
  }
  const std::string encoded = QuotedPrintableText(bytes);
  Check(IsAscii(encoded));
  size_t line_start = 0;
  for (size_t at = 0; at <= encoded.size(); ++at) {
    if (at == encoded.size() || encoded[at] == '\n') {
      Check(at - line_start <= QuotedPrintableEncoder::kLineLength);
      line_start = at + 1;
    }
  }
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
  FuzzParser(input, kPopPieceSize, false);
  FuzzParser(input, 1 + size % 61, true);
  FuzzCodecs(input);
  FuzzInternationalText(input);
  return 0;
}

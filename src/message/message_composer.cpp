#include "message/message_composer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>

#include "base/english_date_names.h"
#include "base/line_breaks.h"
#include "base/temporary_file.h"
#include "message/base64_encoder.h"
#include "message/charset_conversion.h"
#include "message/encoded_words.h"
#include "message/mailbox_address.h"
#include "message/quoted_printable_encoder.h"

namespace quor {

namespace {

// Header lines with encoded words are folded to stay within this many
// characters.
constexpr size_t kFoldColumn = 78;
// An encoded word shorter than this is not worth starting at the end of a
// line: the line is folded before it instead.
constexpr size_t kShortestWordWorthIt = 20;
// Characters of one section of an encoded file name parameter.
constexpr size_t kParameterSection = 60;
// What the multipart writer returns when a text part holds the delimiter (or
// changed since it was scanned): compose again.
constexpr int kBoundaryTaken = 2;

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

// The scratch file side: remembers the first failed write so that a full disk
// is reported instead of sending a truncated message.
class FileOutput : public ByteOutput {
 public:
  explicit FileOutput(std::FILE* file) : file_(file) {}
  void Write(const char* bytes, size_t count) override {
    if (error_ != 0 || count == 0) return;
    if (std::fwrite(bytes, 1, count, file_) != count) error_ = errno != 0 ? errno : EIO;
  }
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  int error() const { return error_; }

 private:
  std::FILE* file_;
  int error_ = 0;
};

bool IsTextType(std::string_view content_type) { return content_type.rfind("text/", 0) == 0; }

// Hexadecimal digits of `count` random bytes from the kernel's source.
std::string RandomHex(size_t count) {
  unsigned char bytes[32] = {};
  count = std::min(count, sizeof bytes);
  size_t filled = 0;
  while (filled < count) {
    ssize_t got = getrandom(bytes + filled, count - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<size_t>(got);
  }
  if (filled < count) {
    // A kernel without getrandom: the library's source is the next best.
    std::random_device device;
    for (size_t i = filled; i < count; ++i) bytes[i] = static_cast<unsigned char>(device());
  }
  std::string hex;
  for (size_t i = 0; i < count; ++i) {
    hex.push_back(kHexDigits[bytes[i] >> 4]);
    hex.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
  return hex;
}

// What must be known of a text before it is sent: whether it is all ASCII
// (then it goes as it is), whether it is valid UTF-8, and whether a delimiter
// occurs in it. Fed in blocks of any size.
class TextScan {
 public:
  explicit TextScan(std::string_view delimiter) : delimiter_(delimiter) {}
  void Add(std::string_view bytes) {
    if (ascii_ && !IsAscii(bytes)) ascii_ = false;
    utf8_.Add(bytes);
    if (found_ || delimiter_.empty()) return;
    // The end of the previous block, so that a delimiter split between two
    // blocks is found too.
    std::string window = tail_;
    window.append(bytes);
    found_ = window.find(delimiter_) != std::string::npos;
    const size_t keep = std::min(window.size(), delimiter_.size() - 1);
    tail_ = window.substr(window.size() - keep);
  }
  bool ascii() const { return ascii_; }
  bool holds_delimiter() const { return found_; }
  std::string_view charset() const {
    if (ascii_) return "us-ascii";
    return utf8_.Valid() ? "utf-8" : "unknown-8bit";
  }

 private:
  std::string delimiter_;
  bool ascii_ = true;
  Utf8Validator utf8_;
  bool found_ = false;
  std::string tail_;
};

// The file name inside a quoted header parameter: quotes and backslashes are
// escaped so a name cannot end the parameter early, line breaks are dropped.
std::string QuotedFileName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '\r' || c == '\n') continue;
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// Opens an attachment for reading. Only regular files: a path that became a
// directory or a pipe since it was added must not stall the composition (a
// pipe without a writer would block an ordinary open forever).
std::FILE* OpenAttachment(const std::string& path) {
  int handle = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) return nullptr;
  struct stat status;
  if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(handle);
    return nullptr;
  }
  std::FILE* file = fdopen(handle, "rb");
  if (!file) close(handle);
  return file;
}

// Reads a text attachment through once to learn how it must be sent; none
// when it cannot be opened.
std::optional<TextScan> ScanAttachment(const std::string& path, std::string_view delimiter) {
  std::FILE* file = OpenAttachment(path);
  if (!file) return std::nullopt;
  TextScan scan(delimiter);
  char block[MessageComposer::kBlockSize];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) scan.Add({block, count});
  std::fclose(file);
  return scan;
}

enum class PartEncoding { kAsItIs, kQuotedPrintable, kBase64 };

std::string_view EncodingName(PartEncoding encoding) {
  switch (encoding) {
    case PartEncoding::kAsItIs:
      return "7bit";
    case PartEncoding::kQuotedPrintable:
      return "quoted-printable";
    case PartEncoding::kBase64:
      break;
  }
  return "base64";
}

// Copies one attachment into the part in its encoding. A text is checked
// again on the way: false when it now holds the delimiter, or when a text
// sent as it is is no longer all ASCII (the file changed since the scan). An
// unreadable file leaves the part empty.
bool WritePartContent(const std::string& path, PartEncoding encoding, std::string_view delimiter,
                      FileOutput& out) {
  std::FILE* file = OpenAttachment(path);
  if (!file) return true;
  Base64Encoder base64(out, Base64Encoder::LineBreaks::kEvery72);
  QuotedPrintableEncoder quoted_printable(out);
  TextScan check(delimiter);
  char block[MessageComposer::kBlockSize];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) {
    switch (encoding) {
      case PartEncoding::kAsItIs:
        check.Add({block, count});
        out.Write(block, count);
        break;
      case PartEncoding::kQuotedPrintable:
        check.Add({block, count});
        quoted_printable.Write(block, count);
        break;
      case PartEncoding::kBase64:
        base64.Write(block, count);
        break;
    }
  }
  if (encoding == PartEncoding::kBase64) base64.Finish();
  if (encoding == PartEncoding::kQuotedPrintable) quoted_printable.Finish();
  std::fclose(file);
  if (check.holds_delimiter()) return false;
  return encoding != PartEncoding::kAsItIs || check.ascii();
}

bool IsAttributeCharacter(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(byte)) != std::string_view::npos;
}

// "; name=\"...\"" for an ASCII file name, as it has always been written;
// otherwise the name in the parameter form that carries a charset, split
// into numbered sections on folded lines of their own.
std::string NameParameter(std::string_view attribute, std::string_view name) {
  const std::string clean = StripLineBreaks(name);
  if (IsAscii(clean)) return "; " + std::string(attribute) + "=" + QuotedFileName(clean);
  std::vector<std::string> sections = {std::string(IsValidUtf8(clean) ? "UTF-8" : "unknown-8bit") +
                                       "''"};
  for (char c : clean) {
    const unsigned char byte = static_cast<unsigned char>(c);
    std::string unit(1, c);
    if (!IsAttributeCharacter(byte)) unit = {'%', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
    if (sections.back().size() + unit.size() > kParameterSection) sections.emplace_back();
    sections.back() += unit;
  }
  std::string parameter;
  for (size_t i = 0; i < sections.size(); ++i) {
    parameter += ";\r\n " + std::string(attribute);
    if (sections.size() > 1) parameter += "*" + std::to_string(i);
    parameter += "*=" + sections[i];
  }
  return parameter;
}

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The text of a quoted display name ("\"Boss, Ann\"" gives Boss, Ann).
std::string Unquoted(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::string(text);
  std::string plain;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size()) ++i;
    plain.push_back(text[i]);
  }
  return plain;
}

// "Name: " and the plain start of the value, then `encoded` as encoded words
// and `last` (if any) as one more word, folded at kFoldColumn.
std::string EncodedHeaderLine(std::string_view name, std::string_view plain,
                              std::string_view encoded, std::string_view last) {
  std::string line = std::string(name) + ": " + std::string(plain);
  size_t column = line.size();
  if (!plain.empty() && column + kShortestWordWorthIt > kFoldColumn) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    line += "\r\n ";
    column = 1;
  }
  std::vector<std::string> words = EncodeWords(encoded, kFoldColumn - column);
  if (!last.empty()) words.emplace_back(last);
  for (size_t i = 0; i < words.size(); ++i) {
    if (i == 0) {
      line += words[i];
      column += words[i].size();
    } else if (column + 1 + words[i].size() <= kFoldColumn) {
      line += " " + words[i];
      column += 1 + words[i].size();
    } else {
      line += "\r\n " + words[i];
      column = 1 + words[i].size();
    }
  }
  line += "\r\n";
  return line;
}

}  // namespace

std::string DateText(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  long offset = local.tm_gmtoff;  // seconds east of UTC, daylight saving included
  char sign = offset >= 0 ? '+' : '-';
  long minutes = (offset < 0 ? -offset : offset) / 60;
  unsigned zone = static_cast<unsigned>(minutes / 60 * 100 + minutes % 60);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d %c%04u",
                EnglishDayName(local.tm_wday), local.tm_mday, EnglishMonthName(local.tm_mon),
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign, zone);
  return text;
}

std::string AttachmentContentType(std::string_view file_name) {
  size_t dot = file_name.rfind('.');
  std::string_view extension = dot == std::string_view::npos ? "" : file_name.substr(dot);
  if (extension.rfind(".htm", 0) == 0) return "text/html";
  if (extension == ".txt") return "text/plain";
  if (extension == ".gif") return "image/gif";
  if (extension == ".jpg") return "image/jpeg";
  if (extension == ".png") return "image/png";
  if (extension == ".zip") return "application/x-zip-compressed";
  return "application/octet-stream";
}

std::string MultipartBoundary() { return "NEXT_PART_=_" + RandomHex(16); }

std::string NewMessageId(std::string_view host_name) {
  bool usable = !host_name.empty() && host_name.size() < 256;
  for (char c : host_name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
    if (!allowed) usable = false;
  }
  return "<" + std::to_string(static_cast<intmax_t>(std::time(nullptr))) + "." + RandomHex(12) +
         "@" + std::string(usable ? host_name : "localhost") + ">";
}

void MessageComposer::SendLine(std::string_view name, std::string_view value) {
  std::string line(name);
  line += ": ";
  line += StripLineBreaks(value);
  line += "\r\n";
  Send(line);
}

void MessageComposer::SendMailboxLine(std::string_view name, std::string_view value) {
  const std::string text = StripLineBreaks(value);
  if (IsAscii(text)) {
    SendLine(name, text);
    return;
  }
  std::string_view display;
  const size_t open = text.find('<');
  const size_t paren = text.find('(');
  if (open != std::string::npos && text.find('>', open + 1) != std::string::npos) {
    display = TrimmedBlanks(std::string_view(text).substr(0, open));
  } else if (paren != std::string::npos) {
    const size_t close = text.rfind(')');
    if (close != std::string::npos && close > paren) {
      display = TrimmedBlanks(std::string_view(text).substr(paren + 1, close - paren - 1));
    }
  }
  // Only a display name is encoded: an address with non-ASCII characters
  // stays as written, as every address does.
  if (display.empty() || IsAscii(display)) {
    SendLine(name, text);
    return;
  }
  const std::string address = "<" + std::string(TrimmedBlanks(MailboxAddress(text))) + ">";
  Send(EncodedHeaderLine(name, "", Unquoted(display), address));
}

void MessageComposer::SendTextLine(std::string_view name, std::string_view value) {
  const std::string text = StripLineBreaks(value);
  if (IsAscii(text)) {
    SendLine(name, text);
    return;
  }
  // The words before the first one that needs encoding stay readable; a word
  // that merely looks encoded is encoded too, so it reads as written.
  size_t plain_end = 0;
  size_t word_start = 0;
  while (word_start < text.size()) {
    size_t word_end = text.find(' ', word_start);
    if (word_end == std::string::npos) word_end = text.size();
    std::string_view word = std::string_view(text).substr(word_start, word_end - word_start);
    if (!IsAscii(word) || word.find("=?") != std::string_view::npos) break;
    plain_end = word_end + (word_end < text.size() ? 1 : 0);
    word_start = word_end + 1;
  }
  Send(EncodedHeaderLine(name, std::string_view(text).substr(0, plain_end),
                         std::string_view(text).substr(plain_end), ""));
}

void MessageComposer::SendHeaderBlock(const OutgoingMessage& message, std::time_t now,
                                      std::string_view message_id) {
  for (const std::string& piece : SplitRecipients(message.to)) SendMailboxLine("To", piece);
  for (const std::string& piece : SplitRecipients(message.cc)) SendMailboxLine("Cc", piece);
  if (!message.sender_name.empty()) {
    SendMailboxLine("From", message.sender_name + " <" + MailboxAddress(message.sender) + ">");
  } else {
    SendMailboxLine("From", message.sender);
  }
  if (!message.reply_to.empty() && message.reply_to != message.sender) {
    SendLine("Reply-To", MailboxAddress(message.reply_to));
  }
  if (!message.subject.empty()) SendTextLine("Subject", message.subject);
  if (!message.organization.empty()) SendTextLine("Organization", message.organization);
  SendLine("Date", DateText(now));
  SendLine("Message-ID", message_id);
  // Answering programs must not answer this one (and start a loop).
  SendLine("Auto-Submitted", "auto-generated");
  SendLine("MIME-Version", "1.0");
}

void MessageComposer::SendSinglePartBody(std::string_view body) {
  if (IsAscii(body)) {
    Send("Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n");
    if (body.empty()) return;  // the terminating sequence supplies the empty line
  } else {
    Send("Content-Type: text/plain; charset=" +
         std::string(IsValidUtf8(body) ? "utf-8" : "unknown-8bit") +
         "\r\nContent-Transfer-Encoding: quoted-printable\r\n");
  }
  const std::string encoded = IsAscii(body) ? std::string() : QuotedPrintableText(body);
  const std::string_view sent = IsAscii(body) ? body : std::string_view(encoded);
  char length[64];
  int used = std::snprintf(length, sizeof length, "Content-Length: %zu\r\n\r\n", sent.size() + 5);
  output_.Write(length, static_cast<size_t>(used));
  Send(sent);
}

namespace {

// Writes the multipart body with one boundary: 1, -errno, or kBoundaryTaken
// when a part sent as it is holds the delimiter.
int WriteMultipart(std::FILE* file, std::string_view body,
                   const std::vector<std::string>& attachments, const std::string& boundary) {
  const std::string delimiter = "--" + boundary;
  FileOutput out(file);
  TextScan body_scan(delimiter);
  body_scan.Add(body);
  if (body_scan.holds_delimiter()) return kBoundaryTaken;
  out.Write("\r\n" + delimiter + "\r\n");
  if (body_scan.ascii()) {
    out.Write(
        "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n");
    out.Write(body);
  } else {
    out.Write("Content-Type: text/plain; charset=" + std::string(body_scan.charset()) +
              "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n");
    QuotedPrintableEncoder encoder(out);
    encoder.Write(body);
    encoder.Finish();
  }
  out.Write("\r\n");

  for (const std::string& path : attachments) {
    size_t slash = path.rfind('/');
    std::string_view name = slash == std::string::npos ? std::string_view(path)
                                                       : std::string_view(path).substr(slash + 1);
    std::string type = AttachmentContentType(name);
    PartEncoding encoding = PartEncoding::kBase64;
    std::string charset;
    if (IsTextType(type)) {
      encoding = PartEncoding::kAsItIs;
      if (std::optional<TextScan> scan = ScanAttachment(path, delimiter)) {
        if (scan->holds_delimiter()) return kBoundaryTaken;
        if (!scan->ascii()) {
          encoding = PartEncoding::kQuotedPrintable;
          charset = "; charset=" + std::string(scan->charset());
        }
      }
    }
    out.Write("\r\n" + delimiter + "\r\n");
    out.Write("Content-Type: " + type + charset + NameParameter("name", name) + "\r\n");
    out.Write("Content-Transfer-Encoding: " + std::string(EncodingName(encoding)) + "\r\n");
    out.Write("Content-Disposition: inline" + NameParameter("filename", name) + "\r\n");
    out.Write("\r\n");
    if (!WritePartContent(path, encoding, delimiter, out)) return kBoundaryTaken;
  }
  out.Write("\r\n" + delimiter + "--");
  if (out.error() != 0) return -out.error();
  return 1;
}

}  // namespace

int MessageComposer::ComposeMultipart(std::FILE* file, std::string_view body,
                                      const std::vector<std::string>& attachments) {
  return ComposeMultipart(file, body, attachments, MultipartBoundary());
}

int MessageComposer::ComposeMultipart(std::FILE* file, std::string_view body,
                                      const std::vector<std::string>& attachments,
                                      std::string boundary) {
  for (int attempt = 0; attempt < kCompositionAttempts; ++attempt) {
    if (attempt > 0) {
      // Start again from an empty file with a boundary of the random kind.
      boundary = MultipartBoundary();
      if (std::fflush(file) != 0 || ftruncate(fileno(file), 0) != 0) {
        return -(errno != 0 ? errno : EIO);
      }
      std::rewind(file);
    }
    const int result = WriteMultipart(file, body, attachments, boundary);
    if (result == kBoundaryTaken) continue;
    if (result < 0) return result;
    if (std::fflush(file) != 0) return -(errno != 0 ? errno : EIO);
    off_t length = ftello(file);
    if (length < 0) return -errno;
    Send("Content-Type: multipart/mixed; boundary=\"" + boundary +
         "\"\r\nContent-Length: " + std::to_string(static_cast<intmax_t>(length) + 5) + "\r\n\r\n");
    return 1;
  }
  return -EAGAIN;
}

int MessageComposer::ComposeMessage(const OutgoingMessage& message, std::time_t now,
                                    std::string_view host_name) {
  SendHeaderBlock(message, now, NewMessageId(host_name));
  if (message.attachments.empty()) {
    SendSinglePartBody(message.body);
    return 1;
  }
  TemporaryFile scratch;
  int result = scratch.Create();
  if (result < 0) return result;
  result = ComposeMultipart(scratch.stream(), message.body, message.attachments);
  if (result < 0) return result;
  std::rewind(scratch.stream());
  char block[kBlockSize];
  size_t count;
  while (!output_.Failed() && (count = std::fread(block, 1, sizeof block, scratch.stream())) > 0) {
    output_.Write(block, count);
  }
  if (std::ferror(scratch.stream())) return -EIO;
  return 1;
}

}  // namespace quor

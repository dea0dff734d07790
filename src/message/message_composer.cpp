#include "message/message_composer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "base/english_date_names.h"
#include "base/line_breaks.h"
#include "base/temporary_file.h"
#include "message/base64_encoder.h"
#include "message/mailbox_address.h"

namespace quor {

namespace {

// Taken while static objects are initialised, which is as close to the start
// of the process as portable code gets.
const auto kProcessStart = std::chrono::steady_clock::now();

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

// Copies one attachment into the part: text types unchanged, others through
// Base64 in 72-character lines. An unreadable file leaves the part empty.
void WritePartContent(const std::string& path, bool text_type, FileOutput& out) {
  std::FILE* file = OpenAttachment(path);
  if (!file) return;
  Base64Encoder encoder(out, Base64Encoder::LineBreaks::kEvery72);
  char block[MessageComposer::kBlockSize];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) {
    if (text_type) {
      out.Write(block, count);
    } else {
      encoder.Write(block, count);
    }
  }
  if (!text_type) encoder.Finish();
  std::fclose(file);
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

std::string MultipartBoundary() {
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - kProcessStart);
  char text[64];
  std::snprintf(text, sizeof text, "NEXT_PART_%ld_%ld", static_cast<long>(std::time(nullptr)),
                static_cast<long>(elapsed.count()));
  return text;
}

void MessageComposer::SendLine(std::string_view name, std::string_view value) {
  std::string line(name);
  line += ": ";
  line += StripLineBreaks(value);
  line += "\r\n";
  output_.Write(line.data(), line.size());
}

void MessageComposer::SendHeaderBlock(const OutgoingMessage& message, std::time_t now) {
  for (const std::string& piece : SplitRecipients(message.to)) SendLine("To", piece);
  for (const std::string& piece : SplitRecipients(message.cc)) SendLine("Cc", piece);
  if (!message.sender_name.empty()) {
    SendLine("From", message.sender_name + " <" + MailboxAddress(message.sender) + ">");
  } else {
    SendLine("From", message.sender);
  }
  if (!message.reply_to.empty() && message.reply_to != message.sender) {
    SendLine("Reply-To", MailboxAddress(message.reply_to));
  }
  if (!message.subject.empty()) SendLine("Subject", message.subject);
  if (!message.organization.empty()) SendLine("Organization", message.organization);
  SendLine("Date", DateText(now));
  SendLine("MIME-Version", "1.0");
}

void MessageComposer::SendSinglePartBody(std::string_view body) {
  // "7-bit" with the hyphen is what this header has always carried; readers
  // treat the unknown value as 7bit.
  static constexpr std::string_view kHeader =
      "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7-bit\r\n";
  output_.Write(kHeader.data(), kHeader.size());
  if (body.empty()) return;  // the terminating sequence supplies the empty line
  char length[64];
  int used = std::snprintf(length, sizeof length, "Content-Length: %zu\r\n\r\n", body.size() + 5);
  output_.Write(length, static_cast<size_t>(used));
  output_.Write(body.data(), body.size());
}

int MessageComposer::ComposeMultipart(std::FILE* file, std::string_view body,
                                      const std::vector<std::string>& attachments) {
  return ComposeMultipart(file, body, attachments, MultipartBoundary());
}

int MessageComposer::ComposeMultipart(std::FILE* file, std::string_view body,
                                      const std::vector<std::string>& attachments,
                                      const std::string& boundary) {
  FileOutput out(file);
  out.Write("\r\n--" + boundary + "\r\n");
  out.Write(
      "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n");
  out.Write(body);
  out.Write("\r\n");

  for (const std::string& path : attachments) {
    size_t slash = path.rfind('/');
    std::string_view name = slash == std::string::npos ? std::string_view(path)
                                                       : std::string_view(path).substr(slash + 1);
    std::string type = AttachmentContentType(name);
    bool text_type = IsTextType(type);
    std::string quoted = QuotedFileName(name);
    out.Write("\r\n--" + boundary + "\r\n");
    out.Write("Content-Type: " + type + "; name=" + quoted + "\r\n");
    out.Write(text_type ? "Content-Transfer-Encoding: 7bit\r\n"
                        : "Content-Transfer-Encoding: base64\r\n");
    out.Write("Content-Disposition: inline; filename=" + quoted + "\r\n");
    out.Write("\r\n");
    WritePartContent(path, text_type, out);
  }
  out.Write("\r\n--" + boundary + "--");

  if (out.error() != 0) return -out.error();
  if (std::fflush(file) != 0) return -(errno != 0 ? errno : EIO);
  off_t length = ftello(file);
  if (length < 0) return -errno;

  std::string header =
      "Content-Type: multipart/mixed; boundary=\"" + boundary +
      "\"\r\nContent-Length: " + std::to_string(static_cast<intmax_t>(length) + 5) + "\r\n\r\n";
  output_.Write(header.data(), header.size());
  return 1;
}

int MessageComposer::ComposeMessage(const OutgoingMessage& message, std::time_t now) {
  SendHeaderBlock(message, now);
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

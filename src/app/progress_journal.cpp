#include "app/progress_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>

#include "config/file_content.h"

namespace quor {

namespace {

// A record is one line: server, user and marker separated by single blanks.
// Blanks, control bytes and "%" inside a field are written as %XX, so every
// record is one line of three fields whatever the texts hold.
void AppendField(std::string& record, std::string_view field) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : field) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%') {
      record += '%';
      record += kHex[byte >> 4];
      record += kHex[byte & 0x0F];
    } else {
      record += c;
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A field as AppendField wrote it; nothing for anything it could not have
// written (a raw control byte, a broken escape), which marks a damaged line.
std::optional<std::string> ReadField(std::string_view field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    auto byte = static_cast<unsigned char>(field[i]);
    if (byte <= 0x20 || byte == 0x7F) return std::nullopt;
    if (field[i] != '%') {
      text += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    int high = HexValue(field[i + 1]);
    int low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    text += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return text;
}

struct JournalRecord {
  std::string server;
  std::string user;
  std::string marker;
};

std::optional<JournalRecord> ReadRecord(std::string_view line) {
  size_t first = line.find(' ');
  if (first == std::string_view::npos) return std::nullopt;
  size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  auto server = ReadField(line.substr(0, first));
  auto user = ReadField(line.substr(first + 1, second - first - 1));
  auto marker = ReadField(line.substr(second + 1));
  // An empty marker is a record too: no message of the mailbox stays behind.
  if (!server || !user || !marker) return std::nullopt;
  return JournalRecord{std::move(*server), std::move(*user), std::move(*marker)};
}

}  // namespace

ProgressJournal::ProgressJournal(std::string path) : path_(std::move(path)) {}

ProgressJournal::~ProgressJournal() {
  if (descriptor_ >= 0) close(descriptor_);
}

bool ProgressJournal::Replay(std::vector<MailboxAccount>& mailboxes) {
  std::string content;
  if (!ReadFileContent(path_, content) || content.empty()) return false;
  std::lock_guard lock(mutex_);
  unfolded_ = true;
  bool changed = false;
  size_t start = 0;
  // Only whole lines: the last one may have been cut short.
  for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
    std::optional<JournalRecord> record =
        ReadRecord(std::string_view(content).substr(start, end - start));
    if (!record) continue;
    for (MailboxAccount& mailbox : mailboxes) {
      if (mailbox.server != record->server || mailbox.user != record->user) continue;
      changed |= mailbox.last_message != record->marker;
      mailbox.last_message = record->marker;
    }
  }
  return changed;
}

bool ProgressJournal::Open() {
  if (descriptor_ >= 0) return true;
  // Close-on-exec: programs started by actions must not inherit it.
  descriptor_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor_ < 0) return false;
  // A record an earlier run could not finish would run into the next one.
  std::string content;
  ReadFileContent(path_, content);
  size_t whole = content.rfind('\n');
  whole_length_ = whole == std::string::npos ? 0 : static_cast<long long>(whole + 1);
  if (static_cast<long long>(content.size()) != whole_length_)
    ftruncate(descriptor_, whole_length_);
  return true;
}

bool ProgressJournal::Record(ConfigurationStore& store, const MailboxAccount& mailbox,
                             const std::string& marker) {
  std::string record;
  AppendField(record, mailbox.server);
  record += ' ';
  AppendField(record, mailbox.user);
  record += ' ';
  AppendField(record, marker);
  record += '\n';

  std::lock_guard lock(mutex_);
  store.StoreMarker(mailbox.id, marker);
  unfolded_ = true;
  if (!Open()) return false;
  ssize_t written;
  do {
    written = write(descriptor_, record.data(), record.size());
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(record.size())) {
    whole_length_ += written;
    return true;
  }
  // A full disk may take part of a record: cut it off, so the next record
  // starts on a line of its own.
  if (written > 0) ftruncate(descriptor_, whole_length_);
  return false;
}

bool ProgressJournal::Fold(const std::function<bool()>& save, bool always) {
  std::lock_guard lock(mutex_);
  if (!unfolded_ && !always) return true;
  if (!save()) return false;
  unfolded_ = false;
  if (descriptor_ >= 0) {
    if (ftruncate(descriptor_, 0) == 0) whole_length_ = 0;
  } else {
    // Records of an earlier run that this one never had to add to.
    truncate(path_.c_str(), 0);
  }
  return true;
}

}  // namespace quor

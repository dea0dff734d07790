#include "engine/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quor {

namespace {

// An extension longer than this is more likely part of a long name.
constexpr size_t kMaxKeptExtensionBytes = 16;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string DataDirectory(const std::string& base_directory) {
  std::string directory = base_directory;
  if (directory.back() != '/') directory.push_back('/');
  directory += "data/";
  // Attachments of other people's mail: private to the user. An existing
  // folder keeps its mode; a failure shows up when the file is created.
  mkdir(directory.c_str(), 0700);
  return directory;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutAtCharacter(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return text.substr(0, cut);
}

}  // namespace

WrittenPart WritePartFile(ActionContext& context, int index, size_t length, const char* bytes,
                          const std::string& name) {
  std::string path;
  if (name.find('/') == std::string::npos && !context.base_directory.empty()) {
    path = DataDirectory(context.base_directory);
  }
  path += name.empty() ? "~rmp" + std::to_string(index) : name;

  // Non-blocking only so that a named pipe in the way fails instead of hanging
  // the pass; writes to a regular file are not affected. No-follow: a link
  // someone planted under this name must not carry the bytes elsewhere.
  int descriptor =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
  if (descriptor < 0) {
    context.log.AddLine("ERROR: writing file " + path);
    return {path, false};
  }
  bool failed = false;
  size_t written = 0;
  while (written < length) {
    ssize_t count = write(descriptor, bytes + written, length - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      failed = true;
      break;
    }
    written += static_cast<size_t>(count);
  }
  // Some file systems report a full disk only when the file is closed.
  if (close(descriptor) != 0 && errno != EINTR) failed = true;
  if (failed) context.log.AddLine("ERROR: writing file " + path);
  return {path, !failed};
}

std::string SafePartName(const std::string& name) {
  size_t last_separator = name.find_last_of("/\\");
  std::string_view last_step(name);
  if (last_separator != std::string::npos) last_step.remove_prefix(last_separator + 1);

  std::string safe;
  safe.reserve(last_step.size());
  for (char c : last_step) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    safe.push_back(c);
  }
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  if (safe.size() <= kMaxPartNameBytes) return safe;

  std::string extension;
  size_t dot = safe.rfind('.');
  if (dot != std::string::npos && dot > 0 && safe.size() - dot <= kMaxKeptExtensionBytes) {
    extension = safe.substr(dot);
  }
  return CutAtCharacter(safe.substr(0, safe.size() - extension.size()),
                        kMaxPartNameBytes - extension.size()) +
         extension;
}

}  // namespace quor

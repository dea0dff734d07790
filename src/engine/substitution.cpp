#include "engine/substitution.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace quor {

namespace {

constexpr size_t kReadBlockBytes = 8161;

bool IsTrimmedBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Position of the next "{" or "}" at or after `from`, or npos.
size_t FindBrace(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '{' || text[i] == '}') return i;
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view name) {
  while (!name.empty() && IsTrimmedBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsTrimmedBlank(name.back())) name.remove_suffix(1);
  return name;
}

}  // namespace

std::string Substitute(std::string_view text, const FieldMap& fields) {
  std::string output;
  output.reserve(text.size());
  // The open token is kept as a range of the input, not a copy: a "{" inside
  // it flushes the range and starts a new one, so every byte is handled once.
  size_t position = 0;
  while (position < text.size()) {
    size_t open = text.find('{', position);
    if (open == std::string_view::npos) {
      output.append(text.substr(position));
      break;
    }
    output.append(text.substr(position, open - position));
    size_t token_start = open + 1;
    size_t brace = FindBrace(text, token_start);
    while (brace != std::string_view::npos && text[brace] == '{') {
      output.push_back('{');
      output.append(text.substr(token_start, brace - token_start));
      token_start = brace + 1;
      brace = FindBrace(text, token_start);
    }
    if (brace == std::string_view::npos) {
      // Unterminated: kept as it stands.
      output.push_back('{');
      output.append(text.substr(token_start));
      break;
    }
    // std::map cannot look up a string_view without a copy; the copy is the
    // name's length, so the whole run stays linear.
    auto found =
        fields.find(std::string(TrimBlanks(text.substr(token_start, brace - token_start))));
    if (found != fields.end()) output.append(found->second);
    position = brace + 1;
  }
  return output;
}

std::string ReadTextFile(const std::string& path, LogSink& log) {
  return ReadTextFile(path, log, kMaxTextFileBytes);
}

std::string ReadTextFile(const std::string& path, LogSink& log, size_t max_bytes) {
  auto refuse = [&]() {
    log.AddLine("WARNING: Unable to read file " + path);
    return std::string();
  };
  // Non-blocking so that a named pipe without a writer cannot hang the pass;
  // such a path is refused below anyway.
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return refuse();
  struct stat status {};
  // Opening a directory succeeds here, only reading it fails: check first.
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
      static_cast<unsigned long long>(status.st_size) > max_bytes) {
    close(descriptor);
    return refuse();
  }
  std::FILE* stream = fdopen(descriptor, "rb");
  if (stream == nullptr) {
    close(descriptor);
    return refuse();
  }

  std::string text;
  text.reserve(static_cast<size_t>(status.st_size));
  char block[kReadBlockBytes];
  size_t total = 0;
  bool failed = false;
  while (true) {
    size_t count = std::fread(block, 1, sizeof block, stream);
    if (count == 0) {
      failed = std::ferror(stream) != 0;
      break;
    }
    total += count;
    // The size was checked at open; a file that grows while we read it must
    // not slip past the limit.
    if (total > max_bytes) {
      failed = true;
      break;
    }
    const void* zero = std::memchr(block, '\0', count);
    size_t kept = zero ? static_cast<size_t>(static_cast<const char*>(zero) - block) : count;
    text.append(block, kept);
  }
  std::fclose(stream);
  if (failed) return refuse();
  return text;
}

}  // namespace quor

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

// Walks `text` once: typed(view) for every stretch typed in the agent,
// inserted(value) for every token, with the field's value or null for an
// unknown name.
template <typename Typed, typename Inserted>
void ForEachPiece(std::string_view text, const FieldMap& fields, Typed typed, Inserted inserted) {
  // The open token is kept as a range of the input, not a copy: a "{" inside
  // it flushes the range and starts a new one, so every byte is handled once.
  size_t position = 0;
  while (position < text.size()) {
    size_t open = text.find('{', position);
    if (open == std::string_view::npos) {
      typed(text.substr(position));
      break;
    }
    typed(text.substr(position, open - position));
    size_t token_start = open + 1;
    size_t brace = FindBrace(text, token_start);
    while (brace != std::string_view::npos && text[brace] == '{') {
      typed(text.substr(open, brace - open));
      open = brace;
      token_start = brace + 1;
      brace = FindBrace(text, token_start);
    }
    if (brace == std::string_view::npos) {
      // Unterminated: kept as it stands.
      typed(text.substr(open));
      break;
    }
    // std::map cannot look up a string_view without a copy; the copy is the
    // name's length, so the whole run stays linear.
    auto found =
        fields.find(std::string(TrimBlanks(text.substr(token_start, brace - token_start))));
    inserted(found != fields.end() ? &found->second : nullptr);
    position = brace + 1;
  }
}

void AppendPathStep(std::string& output, std::string_view value) {
  if (value == "." || value == "..") {
    output.push_back('_');
    return;
  }
  for (char c : value) output.push_back(c == '/' ? '_' : c);
}

}  // namespace

std::string Substitute(std::string_view text, const FieldMap& fields, Insertion insertion) {
  std::string output;
  output.reserve(text.size());
  ForEachPiece(
      text, fields, [&](std::string_view typed) { output.append(typed); },
      [&](const std::string* value) {
        if (value == nullptr) return;
        if (insertion == Insertion::kPathStep) {
          AppendPathStep(output, *value);
        } else {
          output.append(*value);
        }
      });
  return output;
}

MarkedText SubstituteMarked(std::string_view text, const FieldMap& fields) {
  MarkedText marked;
  marked.text.reserve(text.size());
  ForEachPiece(
      text, fields, [&](std::string_view typed) { marked.text.append(typed); },
      [&](const std::string* value) {
        size_t length = value ? value->size() : 0;
        marked.insertions.push_back(TextRange{marked.text.size(), length});
        if (value) marked.text.append(*value);
      });
  return marked;
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

#include "message/charset_conversion.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace quor {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsBlankOrQuote(char c) { return c == ' ' || c == '\t' || c == '"'; }

std::string_view Trimmed(std::string_view name) {
  while (!name.empty() && IsBlankOrQuote(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlankOrQuote(name.back())) name.remove_suffix(1);
  return name;
}

// Charset names are letters, digits and a few marks. iconv reads more into a
// name (an empty one is the locale's charset, "//" adds options), so anything
// else is refused before it gets there.
bool IsCharsetName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '+';
  });
}

bool IsUtf8Name(std::string_view name) {
  if (name.size() != 5 && name.size() != 4) return false;
  std::string lowered;
  for (char c : name) lowered.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  return lowered == "utf-8" || lowered == "utf8";
}

// UTF-8 to UTF-8: checking is all there is to do, and it needs no iconv.
bool CheckUtf8(std::string_view bytes, InvalidBytes invalid, std::string& out) {
  if (IsValidUtf8(bytes)) {
    out.assign(bytes);
    return true;
  }
  if (invalid == InvalidBytes::kRefuse) return false;
  std::string result;
  result.reserve(bytes.size() + 16);
  size_t start = 0;
  while (start < bytes.size()) {
    // The character at `start`: a valid one is 1 to 4 bytes long.
    size_t length = 0;
    for (size_t candidate = 1; candidate <= 4 && start + candidate <= bytes.size(); ++candidate) {
      if (IsValidUtf8(bytes.substr(start, candidate))) {
        length = candidate;
        break;
      }
    }
    if (length == 0) {
      result += kReplacement;
      ++start;
    } else {
      result.append(bytes.substr(start, length));
      start += length;
    }
  }
  out = std::move(result);
  return true;
}

class Conversion {
 public:
  explicit Conversion(const std::string& charset) : handle_(iconv_open("UTF-8", charset.c_str())) {}
  ~Conversion() {
    if (ok()) iconv_close(handle_);
  }
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t handle() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

bool IsAscii(std::string_view bytes) {
  return std::none_of(bytes.begin(), bytes.end(),
                      [](char c) { return static_cast<unsigned char>(c) > 127; });
}

void Utf8Validator::Add(std::string_view bytes) {
  for (char c : bytes) {
    if (!valid_) return;
    const unsigned char byte = static_cast<unsigned char>(c);
    if (pending_ > 0) {
      if (byte < low_ || byte > high_) {
        valid_ = false;
        return;
      }
      --pending_;
      low_ = 0x80;
      high_ = 0xBF;
      continue;
    }
    low_ = 0x80;
    high_ = 0xBF;
    if (byte < 0x80) continue;
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_ = 2;
      if (byte == 0xE0) low_ = 0xA0;   // no overlong forms
      if (byte == 0xED) high_ = 0x9F;  // no surrogates
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_ = 3;
      if (byte == 0xF0) low_ = 0x90;   // no overlong forms
      if (byte == 0xF4) high_ = 0x8F;  // nothing above U+10FFFF
    } else {
      valid_ = false;
    }
  }
}

bool IsValidUtf8(std::string_view bytes) {
  Utf8Validator validator;
  validator.Add(bytes);
  return validator.Valid();
}

bool ConvertToUtf8(std::string_view bytes, std::string_view charset, InvalidBytes invalid,
                   std::string& out) {
  charset = Trimmed(charset);
  if (!IsCharsetName(charset)) return false;
  if (IsUtf8Name(charset)) return CheckUtf8(bytes, invalid, out);
  Conversion conversion{std::string(charset)};
  if (!conversion.ok()) return false;

  std::string result;
  result.resize(bytes.size() * 2 + 16);
  char* input = const_cast<char*>(bytes.data());
  size_t input_left = bytes.size();
  size_t written = 0;
  // Each round converts until the input ends, the output is full or a byte
  // does not belong to the charset; the final round (no input) completes a
  // stateful charset's last shift sequence.
  bool finishing = false;
  while (true) {
    char* output = result.data() + written;
    size_t output_left = result.size() - written;
    size_t done = finishing
                      ? iconv(conversion.handle(), nullptr, nullptr, &output, &output_left)
                      : iconv(conversion.handle(), &input, &input_left, &output, &output_left);
    written = result.size() - output_left;
    if (done != static_cast<size_t>(-1)) {
      if (finishing) break;
      finishing = true;
      continue;
    }
    if (errno == E2BIG) {
      result.resize(result.size() * 2);
      continue;
    }
    // EILSEQ, or EINVAL for a sequence cut off by the end of the text.
    if (invalid == InvalidBytes::kRefuse || input_left == 0) return false;
    if (result.size() - written < kReplacement.size()) result.resize(result.size() * 2);
    result.replace(written, kReplacement.size(), kReplacement);
    written += kReplacement.size();
    ++input;
    --input_left;
  }
  result.resize(written);
  out = std::move(result);
  return true;
}

}  // namespace quor

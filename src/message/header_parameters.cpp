#include "message/header_parameters.h"

#include <map>
#include <vector>

#include "message/charset_conversion.h"
#include "message/encoded_words.h"

namespace quor {

namespace {

// More sections than this is not a file name but an attack on memory.
constexpr int kMaxSections = 128;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct Parameter {
  std::string_view attribute;
  std::string value;
};

// Reads "attribute=value" pairs after the field's first ';'. A quoted value
// runs to its closing quote (to the end when there is none), a plain one to
// the next ';'.
std::vector<Parameter> ReadParameters(std::string_view field) {
  std::vector<Parameter> parameters;
  size_t position = 0;
  bool quoted = false;
  // The main value ("text/plain", "attachment") may itself hold no ';'
  // outside quotes.
  while (position < field.size() && (quoted || field[position] != ';')) {
    if (field[position] == '"') quoted = !quoted;
    ++position;
  }
  while (position < field.size()) {
    ++position;  // the ';'
    const size_t equals = field.find_first_of("=;", position);
    if (equals == std::string_view::npos) break;
    std::string_view attribute = Trimmed(field.substr(position, equals - position));
    position = equals;
    if (field[equals] == ';') continue;
    ++position;
    while (position < field.size() && IsBlank(field[position])) ++position;
    std::string value;
    if (position < field.size() && field[position] == '"') {
      ++position;
      while (position < field.size() && field[position] != '"') {
        if (field[position] == '\\' && position + 1 < field.size()) ++position;
        value.push_back(field[position]);
        ++position;
      }
      position = field.find(';', position);
      if (position == std::string_view::npos) position = field.size();
    } else {
      size_t end = field.find(';', position);
      if (end == std::string_view::npos) end = field.size();
      value.assign(Trimmed(field.substr(position, end - position)));
      position = end;
    }
    if (!attribute.empty()) parameters.push_back(Parameter{attribute, std::move(value)});
  }
  return parameters;
}

struct Section {
  std::string value;
  bool extended = false;
};

// The section number of "name*3" or "name*3*" (with `extended` set for the
// latter), -1 for other attributes.
int SectionNumber(std::string_view attribute, std::string_view name, bool& extended) {
  if (attribute.size() < name.size() + 2 || !SameName(attribute.substr(0, name.size()), name) ||
      attribute[name.size()] != '*') {
    return -1;
  }
  std::string_view digits = attribute.substr(name.size() + 1);
  extended = !digits.empty() && digits.back() == '*';
  if (extended) digits.remove_suffix(1);
  if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return -1;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string PercentDecoded(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      bytes.push_back(text[i]);
    }
  }
  return bytes;
}

// Joins the sections: the charset and language prefix of an extended first
// section is split off, starred sections are percent-decoded.
std::string JoinSections(const std::vector<Section>& sections) {
  std::string charset;
  std::string written;
  std::string bytes;
  for (size_t i = 0; i < sections.size(); ++i) {
    std::string_view value = sections[i].value;
    if (i == 0 && sections[i].extended) {
      const size_t first = value.find('\'');
      const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
      if (second != std::string_view::npos) {
        charset.assign(value.substr(0, first));
        value.remove_prefix(second + 1);
      }
    }
    written.append(value);
    bytes += sections[i].extended ? PercentDecoded(value) : std::string(value);
  }
  if (charset.empty()) return bytes;
  std::string text;
  if (!ConvertToUtf8(bytes, charset, InvalidBytes::kRefuse, text)) return written;
  return text;
}

}  // namespace

std::optional<std::string> ParameterValue(std::string_view field, std::string_view name,
                                          WordsInValue words) {
  std::optional<std::string> plain;
  std::optional<Section> single;
  std::map<int, Section> numbered;
  for (Parameter& parameter : ReadParameters(field)) {
    const std::string_view attribute = parameter.attribute;
    if (SameName(attribute, name)) {
      if (!plain) plain = std::move(parameter.value);
      continue;
    }
    if (attribute.size() == name.size() + 1 && attribute.back() == '*' &&
        SameName(attribute.substr(0, name.size()), name)) {
      if (!single) single = Section{std::move(parameter.value), true};
      continue;
    }
    bool extended = false;
    const int number = SectionNumber(attribute, name, extended);
    if (number < 0 || number >= kMaxSections) continue;
    numbered.emplace(number, Section{std::move(parameter.value), extended});
  }

  std::vector<Section> sections;
  for (int number = 0; numbered.count(number) != 0; ++number) {
    sections.push_back(numbered[number]);
  }
  if (!sections.empty()) return JoinSections(sections);
  if (single) return JoinSections({*single});
  if (plain) return words == WordsInValue::kDecode ? DecodeEncodedWords(*plain) : *plain;
  return std::nullopt;
}

}  // namespace quor

#include "config/profile_file.h"

#include <algorithm>
#include <cstdio>

#include "config/file_content.h"
#include "config/number_text.h"

namespace quor {

namespace {

bool IsBlank(char letter) {
  return letter == ' ' || letter == '\t' || letter == '\r' || letter == '\v' || letter == '\f';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& letter : lowered) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  }
  return lowered;
}

bool BreaksLine(char letter) { return letter == '\n' || letter == '\r' || letter == '\0'; }

// A name survives a save and a load only when reading does not trim, split or
// reinterpret it.
bool StorableName(std::string_view name, std::string_view forbidden) {
  if (name.empty() || Trimmed(name).size() != name.size()) return false;
  return std::none_of(name.begin(), name.end(), [forbidden](char letter) {
    return BreaksLine(letter) || forbidden.find(letter) != std::string_view::npos;
  });
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

bool ProfileFile::Load(const std::string& path) {
  sections_.clear();
  section_index_.clear();
  std::string content;
  if (!ReadFileContent(path, content)) return false;
  std::string_view rest = content;
  if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    rest.remove_prefix(kByteOrderMark.size());
  }
  size_t current = kNoSection;
  int number = 0;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ParseLine(line, ++number, current);
  }
  return true;
}

void ProfileFile::ParseLine(std::string_view line, int number, size_t& current) {
  // NUL bytes mean binary junk, not text anyone wrote.
  if (line.find('\0') != std::string_view::npos) return;
  line = Trimmed(line);
  if (line.empty()) return;
  if (line.front() == '[') {
    size_t close = line.find(']');
    if (close == std::string_view::npos) {
      // A section line cut short: its keys must not land in the section
      // before it.
      current = kNoSection;
      return;
    }
    std::string name(Trimmed(line.substr(1, close - 1)));
    auto found = section_index_.find(Lowered(name));
    if (found != section_index_.end()) {
      current = found->second;
    } else {
      current = sections_.size();
      section_index_.emplace(Lowered(name), current);
      sections_.push_back(Section{std::move(name), {}, {}, number});
    }
    return;
  }
  size_t equals = line.find('=');
  if (equals == std::string_view::npos || current == kNoSection) return;
  std::string_view key = Trimmed(line.substr(0, equals));
  if (key.empty()) return;
  AddEntry(sections_[current], std::string(key), std::string(Trimmed(line.substr(equals + 1))),
           number);
}

void ProfileFile::AddEntry(Section& section, std::string key, std::string value, int line) {
  auto [position, added] = section.index.emplace(Lowered(key), section.entries.size());
  if (added) section.entries.push_back(Entry{std::move(key), std::move(value), line});
}

const ProfileFile::Section* ProfileFile::FindSection(const std::string& section) const {
  auto found = section_index_.find(Lowered(section));
  return found == section_index_.end() ? nullptr : &sections_[found->second];
}

const ProfileFile::Entry* ProfileFile::Find(const std::string& section,
                                            const std::string& key) const {
  const Section* found_section = FindSection(section);
  if (found_section == nullptr) return nullptr;
  auto found = found_section->index.find(Lowered(key));
  return found == found_section->index.end() ? nullptr : &found_section->entries[found->second];
}

int32_t ProfileFile::GetInt(const std::string& section, const std::string& key,
                            int32_t default_value) const {
  const Entry* entry = Find(section, key);
  // An empty value counts as absent, as it always has for these files.
  if (entry == nullptr || entry->value.empty()) return default_value;
  return LeadingInteger(entry->value);
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& default_value, size_t limit) const {
  const Entry* entry = Find(section, key);
  const std::string& value = entry == nullptr ? default_value : entry->value;
  return value.substr(0, std::min(limit, value.size()));
}

bool ProfileFile::HasSection(const std::string& section) const {
  return FindSection(section) != nullptr;
}

bool ProfileFile::HasKey(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

std::vector<std::string> ProfileFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const auto& section : sections_) names.push_back(section.name);
  return names;
}

std::vector<std::string> ProfileFile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  const Section* found = FindSection(section);
  if (found == nullptr) return keys;
  keys.reserve(found->entries.size());
  for (const auto& entry : found->entries) keys.push_back(entry.key);
  return keys;
}

int ProfileFile::SectionLine(const std::string& section) const {
  const Section* found = FindSection(section);
  return found == nullptr ? 0 : found->line;
}

int ProfileFile::KeyLine(const std::string& section, const std::string& key) const {
  const Entry* entry = Find(section, key);
  return entry == nullptr ? 0 : entry->line;
}

ProfileFile::Section& ProfileFile::SectionForWriting(const std::string& section) {
  auto [found, added] = section_index_.emplace(Lowered(section), sections_.size());
  if (added) sections_.push_back(Section{section, {}, {}});
  return sections_[found->second];
}

bool ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
  if (!StorableName(section, "]") || !StorableName(key, "=") || key.front() == '[') return false;
  size_t cut = std::find_if(value.begin(), value.end(), BreaksLine) - value.begin();
  Section& target = SectionForWriting(section);
  auto found = target.index.find(Lowered(key));
  if (found == target.index.end()) {
    AddEntry(target, key, value.substr(0, cut));
  } else {
    target.entries[found->second].value = value.substr(0, cut);
  }
  return cut == value.size();
}

bool ProfileFile::WriteInt(const std::string& section, const std::string& key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

std::string ProfileFile::Text() const {
  std::string text;
  for (const auto& section : sections_) {
    text += '[';
    text += section.name;
    text += "]\n";
    for (const auto& entry : section.entries) {
      text += entry.key;
      text += '=';
      text += entry.value;
      text += '\n';
    }
  }
  return text;
}

bool ProfileFile::Save(const std::string& path, mode_t mode) const {
  return ReplaceFileContent(path, Text(), mode);
}

}  // namespace quor

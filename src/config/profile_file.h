#pragma once
// An INI-syntax profile file with the semantics the settings and agents files
// have always relied on: sections and keys found regardless of letter case,
// values trimmed of surrounding blanks, absent keys giving the default,
// integers read from their leading digits, text reads cut at a buffer size,
// writes that create the section or replace a value in place, unwritten keys
// kept, and sections and keys in first-written order.
//
// The file is read whole by Load and written whole by Save, through a
// temporary file in the same folder that is renamed over the old one, so a
// crash or a full disk never leaves a half-written file behind.
//
// Reading is forgiving, because these files are edited by hand and may have
// been cut short or damaged: a UTF-8 byte order mark and CR LF line ends are
// accepted; lines without "=", lines holding NUL bytes, keys before the first
// section and the keys under a section line without its "]" are skipped; of
// keys written twice in a section the first one counts, as with the platform
// profile functions these files come from, and a section written twice
// continues the first. Save writes what was kept, so a damaged file comes
// out clean.
//
// A plain value: copy it freely; not safe for concurrent use of one object.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quor {

class ProfileFile {
 public:
  // Longest text a read returns: the settings' and the agents file's buffers.
  static constexpr size_t kSettingsTextLimit = 4095;
  static constexpr size_t kAgentsTextLimit = 254;

  // Reads the file. A missing or unreadable file gives an empty profile and
  // false; damaged lines are skipped.
  bool Load(const std::string& path);

  // The key's value read as a number (leading blanks, a sign, the decimal
  // digits, clamped to 32 bits; no digits gives 0). An absent key, and also a
  // key with an empty value, gives default_value.
  int32_t GetInt(const std::string& section, const std::string& key, int32_t default_value) const;
  // The key's value, or default_value when it is absent; either cut to limit.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value, size_t limit) const;
  bool HasSection(const std::string& section) const;
  // The key is in the section, whatever its value (an empty one too).
  bool HasKey(const std::string& section, const std::string& key) const;
  // Names as written in the file, in file order.
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> Keys(const std::string& section) const;
  // Where Load found the section's line or the key that counts, for telling
  // the user about it: the line number from 1, or 0 when it is absent or
  // was written after Load.
  int SectionLine(const std::string& section) const;
  int KeyLine(const std::string& section, const std::string& key) const;

  // Sets a value, creating the section and key when missing. A value holding
  // a line break or a NUL byte cannot be stored on its line: only the part
  // before it is stored and the result is false. A section name or key that
  // could not be read back as written (empty, blanks around it, a line
  // break, "]" in a section name, "=" in a key, a key starting with "[") is
  // refused with false and nothing changes.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInt(const std::string& section, const std::string& key, int32_t value);

  // Writes the whole profile to path through a temporary file and a rename,
  // lines ending in "\n". Every save creates the file anew, so it always ends
  // up with the given mode. False when anything failed; the old file is then
  // untouched.
  bool Save(const std::string& path, mode_t mode = 0600) const;

  // The text Save writes.
  std::string Text() const;

 private:
  struct Entry {
    std::string key;
    std::string value;
    int line = 0;  // in the file Load read; 0 when written since
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> index;  // lower-case key -> entries position
    int line = 0;
  };
  const Entry* Find(const std::string& section, const std::string& key) const;
  const Section* FindSection(const std::string& section) const;
  Section& SectionForWriting(const std::string& section);
  // Adds the key unless the section has it already; the first one counts.
  static void AddEntry(Section& section, std::string key, std::string value, int line = 0);
  // current: position of the section the line belongs to, kNoSection when
  // keys are being skipped. number: the line's number from 1.
  void ParseLine(std::string_view line, int number, size_t& current);
  static constexpr size_t kNoSection = static_cast<size_t>(-1);

  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> section_index_;  // lower-case name -> position
};

}  // namespace quor

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

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class ProfileFile {
 public:
  // Longest text a read returns: the settings' and the agents file's buffers.
  static constexpr size_t kSettingsTextLimit = 4095;
  static constexpr size_t kAgentsTextLimit = 254;

  // Reads the file. A missing or unreadable file gives an empty profile and
  // false; damaged lines are skipped.
  bool Load(const std::string& path);

  int32_t GetInt(const std::string& section, const std::string& key, int32_t default_value) const;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value, size_t limit) const;
  bool HasSection(const std::string& section) const;

  // Sets a value, creating the section and key when missing.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInt(const std::string& section, const std::string& key, int32_t value);

  // Writes the whole profile to path through a temporary file and a rename.
  // The file gets the given mode when created. False when anything failed;
  // the old file is then untouched.
  bool Save(const std::string& path, mode_t mode = 0600) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Entry* Find(const std::string& section, const std::string& key) const;

  std::vector<Section> sections_;
};

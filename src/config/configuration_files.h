#pragma once
// Where a configuration is stored and how it is read and written as a whole:
// the settings and mailboxes in the profile file, the agents in
// quoragts.ini in the base directory (backed up before every save).
// Stateless apart from the two paths; each call reads or writes whole files.

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/configuration_source.h"

namespace quor {

class ConfigurationFiles {
 public:
  // base_directory: empty for the current folder.
  ConfigurationFiles(std::string profile_path, std::string base_directory);

  const std::string& profile_path() const { return profile_path_; }
  const std::string& base_directory() const { return base_directory_; }
  std::string agents_path() const;

  // Which files a save writes.
  enum class Parts { kProfile, kProfileAndAgents };

  // Reads settings, mailboxes and agents (missing files give defaults). An
  // empty log file setting becomes quor.log in the base directory. When the
  // profile file does not exist, the settings are those of a new profile:
  // DecodeText on, so the profile quor then writes has it.
  // agents_understood (when given): false for an agents file that exists but
  // is not understood (see AgentsFile::Load); it gave no agents.
  // settings_source and agents_source (when given) receive where the values
  // were written (see configuration_source.h).
  Configuration Load(bool* agents_understood = nullptr, SettingsSource* settings_source = nullptr,
                     AgentsSource* agents_source = nullptr) const;
  // Writes settings and mailboxes, then (with the agents) the agents file
  // after its backup. The paths of the files that could not be written
  // completely, in that order; empty when everything was saved.
  std::vector<std::string> Save(const Configuration& configuration,
                                Parts parts = Parts::kProfileAndAgents) const;

 private:
  std::string profile_path_;
  std::string base_directory_;
};

}  // namespace quor

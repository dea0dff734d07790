#include "config/configuration_files.h"

#include <sys/stat.h>

#include <cerrno>

#include "config/agents_file.h"
#include "config/config_paths.h"
#include "config/settings_file.h"

namespace quor {

ConfigurationFiles::ConfigurationFiles(std::string profile_path, std::string base_directory)
    : profile_path_(std::move(profile_path)), base_directory_(std::move(base_directory)) {}

std::string ConfigurationFiles::agents_path() const {
  return InBaseDirectory(base_directory_, "quoragts.ini");
}

Configuration ConfigurationFiles::Load(bool* agents_understood, SettingsSource* settings_source,
                                       AgentsSource* agents_source) const {
  Configuration configuration;
  SettingsFile::Load(profile_path_, configuration.settings, configuration.mailboxes,
                     settings_source);
  // No profile yet: this one will be created by quor, so it starts with what
  // new users should have. Profiles that exist keep their own settings.
  struct stat status;
  if (stat(profile_path_.c_str(), &status) != 0 && errno == ENOENT) {
    configuration.settings.decode_text = true;
  }
  configuration.agents = AgentsFile::Load(agents_path(), agents_understood, agents_source);
  if (configuration.settings.log_file.empty()) {
    configuration.settings.log_file = InBaseDirectory(base_directory_, "quor.log");
  }
  return configuration;
}

std::vector<std::string> ConfigurationFiles::Save(const Configuration& configuration,
                                                  Parts parts) const {
  std::vector<std::string> failed;
  if (!SettingsFile::Save(profile_path_, configuration.settings, configuration.mailboxes)) {
    failed.push_back(profile_path_);
  }
  if (parts == Parts::kProfileAndAgents && !AgentsFile::Save(agents_path(), configuration.agents)) {
    failed.push_back(agents_path());
  }
  return failed;
}

}  // namespace quor

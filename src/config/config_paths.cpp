#include "config/config_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace quor {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  // Services started without a login environment still have a passwd entry.
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "";
}

std::string ProgramName(const std::string& executable_name) {
  std::string name = executable_name.substr(executable_name.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "quor" : name;
}

}  // namespace

std::string ResolveBaseDirectory(const std::optional<std::string>& option) {
  if (option.has_value()) return *option;
  return Environment("QUOR_HOME");
}

std::string ResolveProfilePath(const std::optional<std::string>& option,
                               const std::string& executable_name) {
  if (option.has_value()) return *option;
  std::string config_home = Environment("XDG_CONFIG_HOME");
  if (config_home.empty() || config_home.front() != '/') {
    std::string home = HomeFolder();
    config_home = home.empty() ? ".config" : InBaseDirectory(home, ".config");
  }
  return InBaseDirectory(InBaseDirectory(config_home, "quor"),
                         ProgramName(executable_name) + ".INI");
}

std::string InBaseDirectory(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + "/" + name;
}

}  // namespace quor

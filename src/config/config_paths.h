#pragma once
// Where files live on this platform.
//   base directory: --base-dir, else $QUOR_HOME, else empty (current directory);
//   profile file:   --profile, else $XDG_CONFIG_HOME/quor/<exe>.INI
//                   (default ~/.config/quor/quor.INI).

#include <optional>
#include <string>

std::string ResolveBaseDirectory(const std::optional<std::string>& option);
std::string ResolveProfilePath(const std::optional<std::string>& option,
                               const std::string& executable_name);
// base + "/" + name, or name alone when base is empty.
std::string InBaseDirectory(const std::string& base, const std::string& name);

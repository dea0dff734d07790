#pragma once
// Where files live on this platform.
//   base directory: --base-dir, else $QUOR_HOME, else empty (current directory);
//   profile file:   --profile, else $XDG_CONFIG_HOME/quor/<exe>.INI
//                   (default ~/.config/quor/quor.INI).
// An option given on the command line wins even when empty. Environment
// variables that are set but empty count as unset; $XDG_CONFIG_HOME must be
// an absolute path to count. Reads the environment; no other state.

#include <optional>
#include <string>

namespace quor {

std::string ResolveBaseDirectory(const std::optional<std::string>& option);
// executable_name is the program's file name; a folder before it and an
// extension after it are dropped ("/usr/bin/quor.exe" gives "quor.INI").
std::string ResolveProfilePath(const std::optional<std::string>& option,
                               const std::string& executable_name);
// base + "/" + name, or name alone when base is empty; no second "/" when
// base already ends with one.
std::string InBaseDirectory(const std::string& base, const std::string& name);

}  // namespace quor

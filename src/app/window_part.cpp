#include "app/window_part.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace quor {

std::string WindowPartPath(const std::string& relative_path) {
  // Not argv[0]: a program started through PATH or a symbolic link has its
  // real place only in /proc.
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return "";
  std::string own_path(buffer.data(), static_cast<size_t>(length));
  size_t slash = own_path.find_last_of('/');
  if (slash == std::string::npos) return "";
  // The folder from /proc has no symbolic links left, so ".." can be taken
  // away by the text alone.
  return std::filesystem::path(own_path.substr(0, slash + 1) + relative_path)
      .lexically_normal()
      .string();
}

int HandOverToWindowPart(const std::string& path, char** argv) {
  if (path.empty()) return ENOENT;
  execv(path.c_str(), argv);
  return errno;
}

}  // namespace quor

#include "config/file_content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/folders.h"

namespace quor {

namespace {

// Users keep configuration files as links into a folder of their own; the
// rename must replace the file behind the link, not the link itself.
std::string FollowLink(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Makes the rename itself durable; a failure here loses nothing that the
// rename did not already make visible, so it is not reported.
void SyncFolder(const std::string& folder) {
  int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  fsync(handle);
  close(handle);
}

bool WriteAndClose(FILE* stream, std::string_view content) {
  bool written =
      content.empty() || std::fwrite(content.data(), 1, content.size(), stream) == content.size();
  written = written && std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
  // fclose reports delayed write errors too, so its result counts even after
  // an earlier failure has already decided the outcome.
  bool closed = std::fclose(stream) == 0;
  return written && closed;
}

}  // namespace

bool ReadFileContent(const std::string& path, std::string& content) {
  content.clear();
  int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle < 0) return false;
  struct stat status;
  if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(handle);
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t count = read(handle, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      close(handle);
      content.clear();
      return false;
    }
    content.append(buffer, static_cast<size_t>(count));
  }
  close(handle);
  return true;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, mode_t mode) {
  if (path.empty()) return false;
  std::string target = FollowLink(path);
  std::string temporary = target + ".XXXXXX";
  // Close-on-exec: programs started by actions must not inherit a file that
  // may hold passwords.
  int handle = mkostemp(temporary.data(), O_CLOEXEC);
  if (handle < 0) return false;
  FILE* stream = fchmod(handle, mode) == 0 ? fdopen(handle, "wb") : nullptr;
  if (stream == nullptr) {
    close(handle);
    unlink(temporary.c_str());
    return false;
  }
  if (!WriteAndClose(stream, content) || rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(target));
  return true;
}

}  // namespace quor

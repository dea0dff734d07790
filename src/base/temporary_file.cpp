#include "base/temporary_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quor {

TemporaryFile::~TemporaryFile() {
  if (stream_) std::fclose(stream_);
}

std::string TemporaryFile::Folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/tmp";
}

int TemporaryFile::Create() {
  if (stream_) return 1;
  std::string name = Folder() + "/quor-mail-XXXXXX";
  int handle = mkstemp(name.data());
  if (handle < 0) return -errno;
  // Unlinked before anything is written: nothing of the message can be left
  // behind, whatever happens to the send or the process.
  unlink(name.c_str());
  stream_ = fdopen(handle, "w+b");
  if (!stream_) {
    int error = errno;
    close(handle);
    return -error;
  }
  return 1;
}

}  // namespace quor

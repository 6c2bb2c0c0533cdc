// The one atomic file writer of the program (settings, archives, extracted files, exports).
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace ixoral {

namespace {

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

mode_t UserDefaultMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Makes the rename itself durable: the folder's entry is flushed too. Filesystems that cannot
// sync a folder are not an error.
void SyncFolder(const std::string& target) {
  std::filesystem::path folder = std::filesystem::path(target).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::string& target, std::string_view bytes, TFileMode mode) {
  if (target.empty()) return false;
  std::string tmpl = target + std::string(kAtomicTemporaryMark) + "XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode == TFileMode::Private ? 0600 : UserDefaultMode()) == 0;
  ok = ok && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmpl.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  SyncFolder(target);
  return true;
}

}  // namespace ixoral

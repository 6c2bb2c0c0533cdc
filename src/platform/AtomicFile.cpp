// The one atomic file writer of the program (settings, archives, extracted files, exports).
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace ixoral {

namespace {

// 0, or the errno of the write that failed.
int WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
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

bool WriteFileAtomically(const std::string& target, std::string_view bytes, TFileMode mode, std::error_code* failure) {
  // The first step that fails names the failure; the clean-up after it does not.
  const auto fail = [failure](int error) {
    if (failure) *failure = std::error_code(error, std::generic_category());
    return false;
  };
  if (target.empty()) return fail(ENOENT);
  std::string tmpl = target + std::string(kAtomicTemporaryMark) + "XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  int error = ::fchmod(fd, mode == TFileMode::Private ? 0600 : UserDefaultMode()) == 0 ? 0 : errno;
  if (!error) error = WriteAll(fd, bytes.data(), bytes.size());
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(tmpl.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(tmpl.c_str());
    return fail(error);
  }
  if (failure) failure->clear();
  SyncFolder(target);
  return true;
}

}  // namespace ixoral

// The one atomic file writer of the program (settings, archives, extracted files, exports).
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

// Gives the new file the replaced one's group, then its owner, then its permission bits (a change
// of owner clears the set-id bits, so those come last). Changing the group needs membership and
// the owner needs privilege: a refusal (or an id this system cannot map) leaves the new file this
// user's, which is no failure of the write. 0, or the errno of a step that did fail.
int TakeOverOwnership(int fd, const struct stat& replaced) {
  const auto allowed = [](int result) { return result == 0 || errno == EPERM || errno == EINVAL; };
  if (!allowed(::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid))) return errno;
  if (replaced.st_uid != ::geteuid() && !allowed(::fchown(fd, replaced.st_uid, static_cast<gid_t>(-1)))) return errno;
  return ::fchmod(fd, replaced.st_mode & 07777) == 0 ? 0 : errno;
}

}  // namespace

std::string FileWrittenThrough(const std::string& target, std::error_code& failure) {
  failure.clear();
  struct stat st {};
  // Not there yet, or not reachable: the write itself finds out and says so.
  if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
  char resolved[PATH_MAX];
  if (!::realpath(target.c_str(), resolved)) {
    failure = std::error_code(errno, std::generic_category());
    return {};
  }
  return resolved;
}

bool WriteFileAtomically(const std::string& given, std::string_view bytes, TFileMode mode, std::error_code* failure) {
  // The first step that fails names the failure; the clean-up after it does not.
  const auto fail = [failure](int error) {
    if (failure) *failure = std::error_code(error, std::generic_category());
    return false;
  };
  if (given.empty()) return fail(ENOENT);
  std::string target = given;
  struct stat replaced {};
  bool keep = false;
  if (mode == TFileMode::KeepReplaced) {
    std::error_code through;
    target = FileWrittenThrough(given, through);
    if (through) return fail(through.value());
    keep = ::stat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode);
  }
  std::string tmpl = target + std::string(kAtomicTemporaryMark) + "XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  int error = keep ? TakeOverOwnership(fd, replaced)
                   : (::fchmod(fd, mode == TFileMode::Private ? 0600 : UserDefaultMode()) == 0 ? 0 : errno);
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

// Clearing stale temporaries and writing output files atomically.
#include "storage/OutputFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/AtomicFile.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {

// Where leases are not available, a temporary this old has no writer left.
constexpr auto kStaleAge = std::chrono::hours(1);

// "name" + mark + six characters of mkostemp.
bool IsAtomicTemporary(const std::string& name) {
  const size_t at = name.rfind(kAtomicTemporaryMark);
  return at != std::string::npos && at > 0 && name.size() == at + kAtomicTemporaryMark.size() + 6;
}

// "name.saving-PID-N" of the earlier saves; the PID when it is one.
bool IsOldSaveTemporary(const std::string& name, pid_t& pid) {
  const size_t at = name.rfind(".saving-");
  if (at == std::string::npos || at == 0) return false;
  const std::string rest = name.substr(at + 8);
  const size_t dash = rest.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return false;
  for (size_t i = 0; i < rest.size(); ++i)
    if (i != dash && (rest[i] < '0' || rest[i] > '9')) return false;
  pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
  return true;
}

// Whether some process still has the file open: a write lease is granted only to the one holder.
// Without leases (some filesystems), the file's age decides.
bool HeldByAWriter(const std::string& path, const struct stat& st) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  bool held;
  if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    held = false;
  } else if (errno == EAGAIN || errno == EBUSY) {
    held = true;
  } else {
    const auto modified = std::chrono::system_clock::from_time_t(st.st_mtime);
    held = std::chrono::system_clock::now() - modified < kStaleAge;
  }
  ::close(fd);
  return held;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& target) {
  fs::path folder = fs::path(target).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    pid_t pid = 0;
    const bool atomic = IsAtomicTemporary(name);
    if (!atomic && !IsOldSaveTemporary(name, pid)) continue;
    const std::string path = it->path().string();
    struct stat st;
    // Only this user's plain files: never a link, a folder, or someone else's file.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
    if (!atomic && pid > 0 && pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM)) continue;
    if (HeldByAWriter(path, st)) continue;
    ::unlink(path.c_str());
  }
}

bool WriteOutputFile(const std::string& target, std::string_view bytes, std::error_code* failure, TFileMode mode) {
  if (mode == TFileMode::KeepReplaced) {
    std::error_code through;
    const std::string file = FileWrittenThrough(target, through);
    if (through) {
      if (failure) *failure = through;
      return false;
    }
    RemoveStaleTemporaries(file);
  } else {
    RemoveStaleTemporaries(target);
  }
  return WriteFileAtomically(target, bytes, mode, failure);
}

}  // namespace ixoral

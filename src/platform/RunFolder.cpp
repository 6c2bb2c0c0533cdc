// Run folders and their locks. The lock is an flock on a file inside the folder: it belongs to the
// open file, so it goes when the process goes, and the file is put in place only once locked, so
// that nobody ever sees a folder's lock free while its run is still setting it up.
#include "platform/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <system_error>

namespace ixoral {
namespace fs = std::filesystem;

namespace {

// A folder without a lock is one a run is still making, or one an older program left: this old,
// no run is still making it.
constexpr auto kUnlockedAge = std::chrono::hours(24);

constexpr size_t kUniqueLength = 6;  // mkdtemp's XXXXXX

fs::path BaseFolder(const std::string& base) {
  if (!base.empty()) return base;
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : temp;
}

std::string Prefix(const std::string& label) { return "ixoral-" + label + "-"; }

// Whether the folder at `path` belongs to no live run. Its lock is taken while looking, so a run
// cannot take it over meanwhile; `lock` keeps it until the folder is gone.
bool Abandoned(const std::string& path, const struct stat& folder, int& lock) {
  lock = ::open((path + "/" + kRunFolderLock).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (lock < 0) {
    if (errno != ENOENT) return false;
    const auto changed = std::chrono::system_clock::from_time_t(folder.st_mtime);
    return std::chrono::system_clock::now() - changed > kUnlockedAge;
  }
  return ::flock(lock, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

bool TRunFolder::Create(const std::string& label, const std::string& base) {
  Remove();
  std::string pattern = (BaseFolder(base) / (Prefix(label) + std::string(kUniqueLength, 'X'))).string();
  if (!::mkdtemp(pattern.data())) return false;  // mkdtemp makes it 0700
  const std::string pending = pattern + "/" + kRunFolderLock + "-new";
  const std::string lock = pattern + "/" + kRunFolderLock;
  const int fd = ::open(pending.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::rename(pending.c_str(), lock.c_str()) != 0) {
    if (fd >= 0) ::close(fd);
    std::error_code ec;
    fs::remove_all(pattern, ec);
    return false;
  }
  FPath = pattern;
  FLock = fd;
  return true;
}

void TRunFolder::Remove() {
  if (FPath.empty()) return;
  std::error_code ec;
  fs::remove_all(FPath, ec);
  FPath.clear();
  ::close(FLock);  // only once the folder is gone: until then it is this run's
  FLock = -1;
}

int RemoveAbandonedRunFolders(const std::string& label, const std::string& base) {
  const std::string prefix = Prefix(label);
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(BaseFolder(base), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + kUniqueLength || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = it->path().string();
    struct stat st {};
    // Only this user's own folders, never a link to somewhere else.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    int lock = -1;
    if (Abandoned(path, st, lock)) {
      std::error_code gone;
      if (fs::remove_all(path, gone) > 0 && !gone) ++removed;
    }
    if (lock >= 0) ::close(lock);
  }
  return removed;
}

namespace {

std::mutex heldMutex;
std::map<std::string, int>& HeldFolders() {  // folder -> the open lock file, for the run's life
  static std::map<std::string, int> held;
  return held;
}

bool SameFile(int fd, const std::string& path) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

bool HoldFolderInUse(const std::string& folder) {
  const std::string key = fs::path(folder).lexically_normal().string();
  const std::string lock = key + "/" + kFolderInUseLock;
  std::lock_guard<std::mutex> guard(heldMutex);
  auto& held = HeldFolders();
  if (auto it = held.find(key); it != held.end()) {
    if (SameFile(it->second, lock)) return true;
    ::close(it->second);  // someone removed the folder by hand: held again below
    held.erase(it);
  }
  // A run removing the folder holds its lock only while it removes: waited for, then the folder
  // is made again. The lock file that was locked must still be the one in the folder.
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::error_code ec;
    fs::create_directories(key, ec);
    const int fd = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0 && SameFile(fd, lock)) {
      held[key] = fd;
      return true;
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool RemoveFolderUnlessInUse(const std::string& folder) {
  const std::string lock = folder + "/" + kFolderInUseLock;
  const int fd = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool removed = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    removed = !ec;
  }
  ::close(fd);  // only once the folder is gone: a run holding it meanwhile sees its lock file go
  return removed;
}

}  // namespace ixoral

// Automatic recovery documents.
#include "commands/Recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "document/SceneDocument.h"
#include "platform/AtomicFile.h"
#include "platform/DataFiles.h"

namespace ixoral {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "recovery-";
constexpr const char* kDocumentExtension = ".ixr";
constexpr const char* kLockExtension = ".lock";

std::string LockOf(const std::string& document) {
  return (fs::path(document).replace_extension(kLockExtension)).string();
}

// Beside each copy, the path of the document its scene came from, so that a recovered scene is
// saved back where the user was working.
constexpr const char* kOriginExtension = ".origine";
constexpr size_t kMaxOriginLength = 4096;

std::string OriginOf(const std::string& document) {
  return (fs::path(document).replace_extension(kOriginExtension)).string();
}

// Whether a run holds the lock: the lock file is open and locked by a live process.
bool LockHeld(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // no lock file: its run is gone
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // closing drops the lock taken just now, if any
  return held;
}

}  // namespace

std::string DefaultRecoveryFolder() {
  return XdgUserFolder("XDG_STATE_HOME", "/.local/state") + "/Quillbeck/Ixoral/recovery";
}

TRecovery::TRecovery(std::string folder, long run) : FFolder(std::move(folder)) {
  // The process id names the run for a person looking at the folder; a token drawn for this run
  // keeps it apart from a crashed run that had the same id (ids come round again, and a new
  // container or boot starts them over), whose copy must still be offered.
  const long id = run >= 0 ? run : static_cast<long>(::getpid());
  std::random_device random;
  char token[17];
  std::snprintf(token, sizeof token, "%08x%08x", random(), random());
  FDocument = (fs::path(FFolder) / (kPrefix + std::to_string(id) + "-" + token + kDocumentExtension)).string();
  FLockPath = LockOf(FDocument);
}

TRecovery::~TRecovery() {
  WaitForWriter();
  if (FLock < 0) return;
  // The copy stays unless it was discarded; without it the lock has nothing left to mark.
  std::error_code ec;
  if (!fs::exists(FDocument, ec)) fs::remove(FLockPath, ec);
  ::close(FLock);
}

bool TRecovery::Start() {
  if (FLock >= 0) return true;
  std::error_code ec;
  fs::create_directories(FFolder, ec);
  fs::permissions(FFolder, fs::perms::owner_all, fs::perm_options::replace, ec);
  const int fd = ::open(FLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  FLock = fd;
  return true;
}

std::vector<std::string> TRecovery::LeftBehind() const {
  std::vector<std::pair<fs::file_time_type, std::string>> found;
  std::error_code ec;
  for (fs::directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    const std::string name = p.filename().string();
    if (name.rfind(kPrefix, 0) != 0 || p.extension() != kDocumentExtension || p.string() == FDocument) continue;
    std::error_code fileError;
    if (!it->is_regular_file(fileError) || LockHeld(LockOf(p.string()))) continue;
    found.emplace_back(fs::last_write_time(p, fileError), p.string());
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> out;
  out.reserve(found.size());
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

void TRecovery::Remove(const std::string& document) {
  std::error_code ec;
  fs::remove(document, ec);
  fs::remove(LockOf(document), ec);
  fs::remove(OriginOf(document), ec);
}

std::string TRecovery::SetAside(const std::string& document) {
  std::error_code ec;
  std::string target = document + kSetAsideSuffix;
  for (int k = 2; fs::exists(target, ec) && k < 1000; ++k)
    target = document + "." + std::to_string(k) + kSetAsideSuffix;
  fs::rename(document, target, ec);
  fs::remove(LockOf(document), ec);
  return ec ? document : target;
}

std::string TRecovery::OriginalDocument(const std::string& copy) {
  std::ifstream in(OriginOf(copy), std::ios::binary);
  std::string path(kMaxOriginLength + 1, '\0');
  in.read(path.data(), static_cast<std::streamsize>(path.size()));
  path.resize(static_cast<size_t>(in.gcount()));
  // Only a plain absolute path: a note damaged or too long is no path at all.
  if (path.size() > kMaxOriginLength || path.empty() || path[0] != '/' ||
      path.find_first_of(std::string("\0\n\r", 3)) != std::string::npos)
    return {};
  return path;
}

void TRecovery::Collect(bool wait) {
  if (!FWriter.valid()) return;
  if (!wait && FWriter.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  FOutcome = FWriter.get();
  FLastOk = FOutcome->Ok();
}

std::optional<TResult> TRecovery::TakeOutcome() {
  Collect(false);
  std::optional<TResult> outcome = std::move(FOutcome);
  FOutcome.reset();
  return outcome;
}

bool TRecovery::Write(TScene& scene, bool wait) {
  if (!Started()) return false;
  if (FWriter.valid()) {
    if (!wait && FWriter.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    Collect(true);
  }
  // The scene's part is taken here, on the scene's thread; compression and the disk happen on
  // the worker, which owns what it writes.
  auto contents = std::make_shared<TDocumentContents>(PrepareDocument(scene, FDocument));
  const std::string path = FDocument;
  const std::string origin = scene.FileName;
  FWriter = std::async(std::launch::async, [contents, path, origin]() -> TResult {
    TResult written = WriteDocumentContents(*contents, path);
    if (!written) return written;
    std::error_code ec;
    if (origin.empty())
      fs::remove(OriginOf(path), ec);
    else
      WriteFileAtomically(OriginOf(path), origin, TFileMode::Private);  // a lost note loses only the name
    return written;
  });
  if (!wait) return true;
  return LastWriteOk();
}

void TRecovery::WaitForWriter() { Collect(true); }

bool TRecovery::LastWriteOk() {
  WaitForWriter();
  return FLastOk;
}

void TRecovery::Discard() {
  WaitForWriter();
  std::error_code ec;
  fs::remove(FDocument, ec);
  fs::remove(OriginOf(FDocument), ec);
}

}  // namespace ixoral

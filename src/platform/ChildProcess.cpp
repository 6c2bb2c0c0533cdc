// Runs a program as a child process through posix_spawn (safe in a program with threads), in a
// process group of its own so that ending it ends what it started too.
#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ixoral {

namespace {
bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}
}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  const std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

TChildProcess::~TChildProcess() {
  if (Running()) Kill();
  if (FOutput >= 0) ::close(FOutput);
}

bool TChildProcess::Start(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
                          std::string& error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    error = std::strerror(rc);
    return false;
  }
  ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  FPid = pid;
  FOutput = fds[0];
  FEnded = false;
  FExitCode = -1;
  FSignal = 0;
  return true;
}

std::string TChildProcess::ReadAvailable() {
  std::string out;
  if (FOutput < 0) return out;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(FOutput, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, size_t(n));
      if (out.size() > (1u << 20)) break;  // the rest on the next call
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0) {  // every writer has closed the pipe
        ::close(FOutput);
        FOutput = -1;
      }
      break;
    }
  }
  return out;
}

void TChildProcess::Reap(int status) {
  FEnded = true;
  if (WIFEXITED(status)) {
    FExitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    FExitCode = -1;
    FSignal = WTERMSIG(status);
  }
}

bool TChildProcess::Finished() {
  if (FPid <= 0) return true;
  if (FEnded) return true;
  int status = 0;
  const pid_t r = ::waitpid(FPid, &status, WNOHANG);
  if (r == FPid)
    Reap(status);
  else if (r < 0 && errno == ECHILD)
    FEnded = true;
  return FEnded;
}

bool TChildProcess::WaitFinished(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!Finished()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    ::usleep(5000);
  }
  return true;
}

void TChildProcess::Kill() {
  if (!Running()) return;
  ::kill(-FPid, SIGKILL);  // the whole group: anything the program started goes with it
  ::kill(FPid, SIGKILL);
  int status = 0;
  while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
  }
  Reap(status);
}

}  // namespace ixoral

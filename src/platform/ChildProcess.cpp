// Runs a program as a child process through fork and exec (the child does only what is safe in a
// program with threads), in a process group of its own so that ending it ends what it started
// too, and bound to our life so that it never outlives us.
#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
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

namespace {

// What the child does between fork and exec. Only calls safe in a forked copy of a program with
// threads: no allocation, no locks. A step that fails sends its errno through `report` and ends
// the child; a successful exec closes `report` (close-on-exec), which the parent reads as success.
[[noreturn]] void BecomeProgram(const char* path, char* const* argv, const char* folder, int output, int report,
                                pid_t parent) {
  const auto fail = [report](int error) {
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
  };
  // The program goes with us when we die, however we die (a kill -9 leaves no chance to end it).
  // Our death may already have happened before the request: then the child was handed on to
  // another parent, and ends itself.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail(errno);
  if (::getppid() != parent) ::_exit(127);
  // A process group of its own, so that ending it ends what it started too.
  if (::setpgid(0, 0) != 0) fail(errno);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (const int number : {SIGPIPE, SIGINT, SIGTERM}) ::sigaction(number, &standard, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int input = ::open("/dev/null", O_RDONLY);
  if (input < 0) fail(errno);
  if (::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(output, 2) < 0) fail(errno);
  if (input > 2) ::close(input);
  if (*folder && ::chdir(folder) != 0) fail(errno);
  ::execve(path, argv, environ);
  fail(errno);
  ::_exit(127);  // not reached
}

}  // namespace

bool TChildProcess::Start(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
                          std::string& error) {
  int fds[2], report[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  // Everything the child needs is made before the fork: it may not allocate.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) BecomeProgram(path.c_str(), argv.data(), folder.c_str(), fds[1], report[1], parent);
  const int forkError = errno;
  ::close(fds[1]);
  ::close(report[1]);
  int childError = 0;
  if (pid > 0) {
    ssize_t n;
    while ((n = ::read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    if (n != sizeof childError) childError = 0;  // closed by the exec: the program runs
  }
  ::close(report[0]);
  if (pid < 0 || childError != 0) {
    ::close(fds[0]);
    if (pid > 0)
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    error = std::strerror(pid < 0 ? forkError : childError);
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

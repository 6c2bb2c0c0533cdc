// Finding the speech service the way its client library does, without loading that library.
#include "platform/SpeechService.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace ixoral {

namespace {

constexpr const char* kDefaultSpawnCommand = "/usr/bin/speech-dispatcher";
constexpr const char* kUnixPrefix = "unix_socket:";
constexpr const char* kInetPrefix = "inet_socket:";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool IsSocket(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

TSpeechDispatcherEnvironment TSpeechDispatcherEnvironment::FromProcess() {
  return {Env("SPEECHD_ADDRESS"), Env("XDG_RUNTIME_DIR"), Env("HOME"), Env("SPEECHD_CMD")};
}

bool SpeechDispatcherReachable(const TSpeechDispatcherEnvironment& env) {
  std::string socketPath;
  if (StartsWith(env.Address, kInetPrefix)) return true;
  if (StartsWith(env.Address, kUnixPrefix)) {
    socketPath = env.Address.substr(std::char_traits<char>::length(kUnixPrefix));
  } else {
    // The user's own service: its socket in the runtime folder, or in ~/.cache without one.
    std::string runtime = env.RuntimeDir;
    if (runtime.empty() && !env.Home.empty()) runtime = env.Home + "/.cache";
    if (!runtime.empty()) socketPath = runtime + "/speech-dispatcher/speechd.sock";
  }
  if (IsSocket(socketPath)) return true;
  // No service listens: the library starts one where its program is installed.
  const std::string spawn = env.SpawnCommand.empty() ? kDefaultSpawnCommand : env.SpawnCommand;
  return IsExecutableFile(spawn);
}

}  // namespace ixoral

// Whether the desktop's speech service (speech-dispatcher) can be reached before its client
// library is loaded: that library, when no service answers and none can be started, fails after
// allocations it never gives back, and may wait on a service that never answers. The modeller
// asks first and, where no service can be had, reads no text aloud.
#pragma once

#include <string>

namespace ixoral {

// What the speech service's client library reads from the environment to find the service.
struct TSpeechDispatcherEnvironment {
  std::string Address;       // SPEECHD_ADDRESS: "unix_socket:PATH" or "inet_socket:HOST:PORT"
  std::string RuntimeDir;    // XDG_RUNTIME_DIR, where the user's service keeps its socket
  std::string Home;          // HOME: ~/.cache stands for the runtime folder when there is none
  std::string SpawnCommand;  // SPEECHD_CMD: the program started when no service runs

  static TSpeechDispatcherEnvironment FromProcess();
};

// True when a service is listening at the address the client library would use, or the library
// can start one (its spawn command is an executable); an address over the network is taken as
// reachable (the voice's own thread bounds how long it may take).
bool SpeechDispatcherReachable(const TSpeechDispatcherEnvironment& env);
inline bool SpeechDispatcherReachable() {
  return SpeechDispatcherReachable(TSpeechDispatcherEnvironment::FromProcess());
}

}  // namespace ixoral

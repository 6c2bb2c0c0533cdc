// A program run as a separate process: started in a folder of our choosing with its standard output
// and error read together through a pipe, without ever blocking the caller, and ended at once on
// request together with anything it started. It never outlives us: when our process ends, even
// killed outright, the system kills it too.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ixoral {

// The full path of `name` as the shell would find it through PATH (a name holding a "/" is taken
// as it is); empty when there is no such executable.
std::string FindProgram(const std::string& name);

class TChildProcess {
 public:
  TChildProcess() = default;
  // A process still running is ended.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts the executable `path` with `args` in `folder`, standard input empty. False (and
  // `error` says why) when it cannot be started. The system ties the child to the thread that
  // starts it: start it from a thread that lives as long as the process (the window's).
  bool Start(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
             std::string& error);
  // What the process wrote since the last call, without waiting.
  std::string ReadAvailable();
  // Whether the process has ended (it is then reaped); never waits.
  bool Finished();
  // Waits at most `milliseconds` for the end; answers Finished().
  bool WaitFinished(int milliseconds);
  // Ends the process and its children now and reaps it.
  void Kill();

  bool Running() const { return FPid > 0 && !FEnded; }
  pid_t Pid() const { return FPid; }
  // After the end: the exit status, or -1 when a signal ended it (then Signal() names it).
  int ExitCode() const { return FExitCode; }
  int Signal() const { return FSignal; }

 private:
  void Reap(int status);
  pid_t FPid = -1;
  int FOutput = -1;
  bool FEnded = false;
  int FExitCode = -1;
  int FSignal = 0;
};

}  // namespace ixoral

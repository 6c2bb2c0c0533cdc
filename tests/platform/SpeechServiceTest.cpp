// Finding the speech service without its client library: a listening socket, a program the
// library would start, or neither.
#include "platform/SpeechService.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"

using namespace ixoral;

namespace {

// A unix socket listening at `path` for as long as the object lives.
class TListeningSocket {
 public:
  explicit TListeningSocket(const std::string& path) {
    FFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) return;
    path.copy(addr.sun_path, path.size());
    if (::bind(FFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) FListening = ::listen(FFd, 1) == 0;
  }
  ~TListeningSocket() { ::close(FFd); }
  bool Listening() const { return FListening; }

 private:
  int FFd = -1;
  bool FListening = false;
};

}  // namespace

TEST(SpeechService, ReachableOnlyThroughAListeningSocketOrAProgramToStart) {
  test::TTempFolder folder("speechd");
  const std::string runtime = folder.Path().string();
  const std::string missingProgram = folder.File("no-such-program");
  TSpeechDispatcherEnvironment env{"", runtime, "/nonexistent-home", missingProgram};

  // Nothing listens and nothing can be started: the fresh desktop without the service.
  EXPECT_FALSE(SpeechDispatcherReachable(env));
  // A plain file where the socket should be is no service.
  std::filesystem::create_directories(runtime + "/speech-dispatcher");
  std::ofstream(runtime + "/speech-dispatcher/speechd.sock") << "x";
  EXPECT_FALSE(SpeechDispatcherReachable(env));
  std::filesystem::remove(runtime + "/speech-dispatcher/speechd.sock");
  {
    TListeningSocket service(runtime + "/speech-dispatcher/speechd.sock");
    ASSERT_TRUE(service.Listening());
    EXPECT_TRUE(SpeechDispatcherReachable(env));
    // Without a runtime folder, the library looks under ~/.cache instead.
    EXPECT_FALSE(SpeechDispatcherReachable({"", "", runtime, missingProgram}));
  }
  std::filesystem::remove(runtime + "/speech-dispatcher/speechd.sock");

  // An address given outright: a unix socket must exist; a network address is tried by the voice.
  EXPECT_FALSE(SpeechDispatcherReachable({"unix_socket:" + folder.File("absent.sock"), runtime, "", missingProgram}));
  EXPECT_TRUE(SpeechDispatcherReachable({"inet_socket:127.0.0.1:6560", runtime, "", missingProgram}));

  // The library starts the service where its program is an executable file, not otherwise.
  const std::string program = folder.File("speechd-program");
  std::ofstream(program) << "#!/bin/sh\n";
  EXPECT_FALSE(SpeechDispatcherReachable({"", runtime, "", program}));
  ::chmod(program.c_str(), 0755);
  EXPECT_TRUE(SpeechDispatcherReachable({"", runtime, "", program}));
  EXPECT_FALSE(SpeechDispatcherReachable({"", runtime, "", runtime}));
}

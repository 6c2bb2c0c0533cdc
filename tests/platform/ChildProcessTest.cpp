// Child processes: their failures to start told, and never outliving the process that started
// them, however it ends. (Running, output and exit codes: the POV-Ray job's tests.)
#include "platform/ChildProcess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "TempFolder.h"

using namespace ixoral;

TEST(ChildProcess, AProgramOrFolderThatIsNotThereIsToldInTheSystemsWords) {
  test::TTempFolder folder("child");
  TChildProcess child;
  std::string error;
  EXPECT_FALSE(child.Start(folder.File("absent"), {}, "", error));
  EXPECT_EQ(error, std::strerror(ENOENT));
  error.clear();
  EXPECT_FALSE(child.Start(FindProgram("sh"), {"-c", "exit 0"}, folder.File("absent"), error));
  EXPECT_EQ(error, std::strerror(ENOENT));
  EXPECT_FALSE(child.Running());
}

TEST(ChildProcess, TheProgramDiesWithTheProcessThatStartedIt) {
  // Orphans come to this process, so that it sees how the program ended.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t starter = ::fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {  // the modeller's stand-in: starts the program, says which, waits to be killed
    TChildProcess child;
    std::string error;
    const pid_t pid = child.Start(FindProgram("sleep"), {"60"}, "", error) ? child.Pid() : -1;
    (void)!::write(report[1], &pid, sizeof pid);
    for (;;) ::pause();
  }
  ::close(report[1]);
  pid_t program = -1;
  ASSERT_EQ(::read(report[0], &program, sizeof program), ssize_t(sizeof program));
  ASSERT_GT(program, 0);
  ::kill(starter, SIGKILL);
  ASSERT_EQ(::waitpid(starter, nullptr, 0), starter);
  int status = -1;
  for (int look = 0; look < 1000 && ::waitpid(program, &status, WNOHANG) == 0; ++look) ::usleep(5000);
  if (::kill(program, 0) == 0) {  // still running: end it, and fail
    ::kill(program, SIGKILL);
    ::waitpid(program, &status, 0);
    ADD_FAILURE() << "the program outlived the process that started it";
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

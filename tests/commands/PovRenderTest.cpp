// Rendering with POV-Ray: its command line, the reading of its progress and errors, a real render
// of the sample scene compared with POV-Ray's own render of the POV-Ray export, cancelling, and a
// POV-Ray that is missing or killed.
#include "commands/PovRender.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "TempFolder.h"
#include "document/PictureExport.h"
#include "document/PovExport.h"
#include "document/SceneDocument.h"

using namespace ixoral;
using ixoral::test::TTempFolder;
namespace fs = std::filesystem;

namespace {

const std::string kSample = std::string(IXORAL_TEST_DATA_DIR) + "/../../data/samples/reference.ixr";

bool PovRayInstalled() { return !FindProgram("povray").empty(); }

// Polls the job as the window's timer does until it leaves the running state.
TRenderState RunToEnd(TPovRenderJob& job, int seconds = 120) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (job.Poll() == TRenderState::Running && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return job.State();
}

bool ProcessGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

TEST(PovRenderOutput, CommandLineProgressAndErrorsAreRead) {
  TPovRenderOptions options;
  options.Resolution = 0;
  EXPECT_EQ(PovRayArguments(options),
            (std::vector<std::string>{"+Iscene.pov", "+Orendu.tga", "+FT", "+W320", "+H240", "-D", "-P", "+A0.3"}));
  options.Resolution = 4;
  options.Antialias = false;
  const auto args = PovRayArguments(options);
  EXPECT_EQ(args[3], "+W1600");
  EXPECT_EQ(args[4], "+H1200");
  EXPECT_EQ(args.back(), "-A");

  // Progress comes in pieces cut anywhere, separated by carriage returns.
  TPovOutputParser p;
  p.Feed("==== [Rendering...] =====\nRendered 1024 of 76800 pi");
  EXPECT_EQ(p.Fraction(), 0);
  p.Feed("xels (1%)\rRendered 38400 of 76800 pixels (50%)");
  EXPECT_DOUBLE_EQ(p.Fraction(), 0.5);
  p.Feed("\rRendered 76800 of 76800 pixels (100%)\n");
  EXPECT_DOUBLE_EQ(p.Fraction(), 1.0);
  EXPECT_EQ(p.Message(), "");

  // A parse error wrapped over two lines, after a warning that is not the error.
  TPovOutputParser e;
  e.Feed("File 'scene.pov' line 2: Possible Parse Error: Cannot find file 'x.inc',\n even after trying.\n");
  e.Feed("File 'scene.pov' line 4: Parse Error: No matching } in 'sphere', undeclared\n identifier 'foo'");
  e.Feed(" found instead\nFatal error in parser: Cannot parse input.\nRender failed\n");
  EXPECT_EQ(e.ErrorLine(), 4);
  EXPECT_EQ(e.Message(), std::string(kMsgPovRayLineError) +
                             "4 : No matching } in 'sphere', undeclared identifier 'foo' found instead");
  TPovOutputParser noLine;
  noLine.Feed("Parse Error: Cannot open input file.\nFatal error in parser: Cannot parse input.\n");
  EXPECT_EQ(noLine.Message(), std::string(kMsgPovRayError) + "Cannot open input file.");
}

TEST(PovRenderJob, AMissingPovRayIsNamedWithItsPackage) {
  TScene scene;
  scene.NewScene(true);
  TPovRenderJob job;
  TPovRenderOptions options;
  options.Program = "povray-absent-ixoral";
  EXPECT_FALSE(job.Start(scene, 3, options));
  EXPECT_EQ(job.State(), TRenderState::Failed);
  EXPECT_EQ(job.Message(), kMsgPovRayMissing);
  EXPECT_EQ(job.Folder(), "");
}

TEST(PovRenderJob, TheSampleRendersAsPovRayRendersTheExport) {
  if (!PovRayInstalled()) GTEST_SKIP() << "POV-Ray is not installed (Debian package povray)";
  TScene scene;
  ASSERT_TRUE(LoadDocument(scene, kSample));
  TPovRenderJob job;
  TPovRenderOptions options;  // 320 x 240, antialiased
  ASSERT_TRUE(job.Start(scene, 3, options)) << job.Message();
  const std::string folder = job.Folder();
  EXPECT_TRUE(fs::exists(folder + "/scene.pov"));
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  ASSERT_EQ(RunToEnd(job), TRenderState::Done) << job.Message();
  EXPECT_DOUBLE_EQ(job.Progress(), 1.0);
  EXPECT_FALSE(fs::exists(folder));
  const TImage& got = job.Picture();
  ASSERT_EQ(got.Width, 320);
  ASSERT_EQ(got.Height, 240);
  // Not empty: the lit solids give many shades over a black background.
  std::set<uint32_t> shades;
  int lit = 0;
  for (int y = 0; y < got.Height; ++y)
    for (int x = 0; x < got.Width; ++x) {
      const uint32_t c = got.PixelAt(x, y) & 0xFFFFFF;
      shades.insert(c);
      lit += c != 0;
    }
  EXPECT_GT(shades.size(), 50u);
  EXPECT_GT(lit, 320 * 240 / 10);

  // POV-Ray's own render of the POV-Ray export, run by hand with the same settings.
  TTempFolder mine("pov-own");
  ASSERT_TRUE(ExportPovScene(scene, 3, mine.File("scene.pov"), false));
  const std::string command =
      "cd '" + mine.Path().string() + "' && povray +Iscene.pov +Orendu.tga +FT +W320 +H240 -D -P +A0.3 >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  TImage own;
  std::string message;
  ASSERT_TRUE(LoadImageFile(mine.File("rendu.tga"), own, message)) << message;
  ASSERT_EQ(own.Width, 320);
  double difference = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      const uint32_t a = got.PixelAt(x, y), b = own.PixelAt(x, y);
      for (int s = 0; s < 24; s += 8) difference += std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF));
    }
  EXPECT_LT(difference / (320 * 240 * 3), 1.0);
}

TEST(PovRenderJob, CancellingEndsPovRayWithinASecondAndLeavesNoFile) {
  if (!PovRayInstalled()) GTEST_SKIP() << "POV-Ray is not installed (Debian package povray)";
  TScene scene;
  ASSERT_TRUE(LoadDocument(scene, kSample));
  TPovRenderJob job;
  TPovRenderOptions options;
  options.Resolution = 4;  // 1600 x 1200, antialiased: long enough to be cancelled
  ASSERT_TRUE(job.Start(scene, 3, options)) << job.Message();
  const std::string folder = job.Folder();
  const pid_t pid = job.ProcessId();
  // Until POV-Ray has begun rendering pixels.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (job.Poll() == TRenderState::Running && job.Progress() == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(job.State(), TRenderState::Running) << job.Message();
  const auto before = std::chrono::steady_clock::now();
  job.Cancel();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_EQ(job.State(), TRenderState::Cancelled);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(job.Picture().Width, 0);

  // POV-Ray killed from outside mid-render: a failure that says so, and no file either.
  ASSERT_TRUE(job.Start(scene, 3, options)) << job.Message();
  const std::string second = job.Folder();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(job.ProcessId(), SIGKILL);
  EXPECT_EQ(RunToEnd(job, 10), TRenderState::Failed);
  EXPECT_EQ(job.Message(), std::string(kMsgPovRayKilled) + "9)");
  EXPECT_FALSE(fs::exists(second));
}

TEST(PovRenderJob, PovRaysErrorsAndFailuresBecomeMessages) {
  TScene scene;
  scene.NewScene(true);
  TTempFolder bin("fake-povray");
  // Stand-ins for POV-Ray: one that reports a parse error (wrapped, on standard error) and fails,
  // one that fails without a word, one that ends well without a picture.
  auto script = [&](const char* name, const std::string& body) {
    const std::string path = bin.File(name);
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
  };
  TPovRenderOptions options;
  options.Program = script("erreur",
                           "echo \"File 'scene.pov' line 7: Parse Error: Expected 'object',\" >&2\n"
                           "echo \" } found instead\" >&2\nexit 1\n");
  TPovRenderJob job;
  ASSERT_TRUE(job.Start(scene, 3, options));
  const std::string folder = job.Folder();
  EXPECT_EQ(RunToEnd(job, 10), TRenderState::Failed);
  EXPECT_EQ(job.Message(), std::string(kMsgPovRayLineError) + "7 : Expected 'object', } found instead");
  EXPECT_FALSE(fs::exists(folder));

  options.Program = script("muet", "exit 3\n");
  ASSERT_TRUE(job.Start(scene, 3, options));
  EXPECT_EQ(RunToEnd(job, 10), TRenderState::Failed);
  EXPECT_EQ(job.Message(), std::string(kMsgPovRayFailed) + "3)");

  options.Program = script("sans-image", "exit 0\n");
  ASSERT_TRUE(job.Start(scene, 3, options));
  EXPECT_EQ(RunToEnd(job, 10), TRenderState::Failed);
  EXPECT_EQ(job.Message(), kMsgPovRayNoPicture);
}

// The help pages' lookup and messages, and the about box's flight.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "commands/AboutFlight.h"
#include "commands/Help.h"
#include "platform/DataFiles.h"
#include "scene/Shapes.h"
#include "scene/ViewOps.h"

using namespace ixoral;
namespace fs = std::filesystem;

TEST(HelpTest, EveryPageTheProgramNamesIsShippedAndLinksStayInside) {
  const std::string folder = FindDataFile(kHelpFolder);
  ASSERT_FALSE(folder.empty());
  for (const char* page :
       {help::Index, help::Interface, help::Objets, help::Explorateur, help::Proprietes, help::Outils, help::Editeurs,
        help::Export, help::Clavier, help::Assistant, help::Renommer, help::APropos}) {
    const std::string path = HelpPagePath(page);
    EXPECT_EQ(fs::path(path).filename(), page);
    // Every link of a page names a page that exists.
    std::ifstream in(path);
    const std::string html((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(html.find("lang=\"fr\""), std::string::npos) << page;
    for (size_t at = html.find("href=\""); at != std::string::npos; at = html.find("href=\"", at + 1)) {
      const size_t end = html.find('"', at + 6);
      const std::string target = html.substr(at + 6, end - at - 6);
      EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / target)) << page << " -> " << target;
    }
  }
}

TEST(HelpTest, UnknownOrClimbingPagesFallBackToTheFirstPage) {
  test::TTempFolder f("help");
  const std::string folder = f.File("help");
  fs::create_directories(folder);
  EXPECT_EQ(HelpPagePathIn(folder, "index.html"), "");  // no first page: nothing to show
  std::ofstream(folder + "/index.html") << "<html></html>";
  std::ofstream(f.File("secret.html")) << "x";
  EXPECT_EQ(HelpPagePathIn(folder, "absent.html"), folder + "/index.html");
  EXPECT_EQ(HelpPagePathIn(folder, "../secret.html"), folder + "/index.html");
  EXPECT_EQ(HelpPagePathIn(folder, ".."), folder + "/index.html");
  EXPECT_EQ(HelpPagePathIn(folder, ""), folder + "/index.html");
  EXPECT_EQ(HelpPagePathIn("", "index.html"), "");
}

TEST(HelpTest, AMissingFolderOrBrowserIsToldNotSilent) {
  TScriptedPrompt prompt;
  int opened = 0;
  auto browser = [&](const std::string&) { return ++opened, true; };
  EXPECT_FALSE(OpenHelp("index.html", prompt, browser, std::string("/nonexistent/help")));
  EXPECT_EQ(opened, 0);
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].Kind, TScriptedPrompt::TShown::Error);
  EXPECT_EQ(prompt.Shown()[0].Text, std::string(kMsgHelpMissing) + "  /nonexistent/help\n");

  prompt.ClearShown();
  EXPECT_TRUE(OpenHelp("clavier.html", prompt, browser));
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(prompt.Shown().empty());

  const std::string page = HelpPagePath("clavier.html");
  EXPECT_FALSE(OpenHelp("clavier.html", prompt, [](const std::string&) { return false; }));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].Text, kMsgHelpNoBrowser + page);
}

TEST(AboutFlightTest, CameraFollowsTheFlightPathAndStarDoublesTheTime) {
  TScene scene;
  TAboutFlight flight(scene);
  for (const double t : {0.0, 10.0, 1234.0, 5000.0, 23456.0}) {
    flight.Advance(t - flight.Elapsed());
    flight.Apply();
    Vec3d p;
    const D3DMATRIX m = FlyThroughCamera(std::round(30 * t / 100), p);
    EXPECT_EQ(std::memcmp(&m, &scene.Views[0].CameraMatrix, sizeof m), 0) << t;
  }
  flight.DoubleTime();
  EXPECT_DOUBLE_EQ(flight.Elapsed(), 2 * 23456.0);
  EXPECT_DOUBLE_EQ(flight.PathTime(), std::round(30 * 2 * 23456.0 / 100));
}

TEST(AboutFlightTest, SolidsBehindTheCameraAreLeftOutWhereverTheyStand) {
  auto cube = CreateCube(0xFFFFFFFF, 0.5);
  cube->SetScale({1, 1, 1});
  cube->SetDirection({0, 0, 1});
  const Vec3d camera{0, 0, 0}, d{0, 0, 1};
  cube->SetPosition({0, 0, 5});
  EXPECT_TRUE(BoxInFront(*cube, camera, d));
  cube->SetPosition({0, 0, -5});
  EXPECT_FALSE(BoxInFront(*cube, camera, d));
  // Within the two units in front of the camera: left out.
  cube->SetPosition({0, 0, 1});
  EXPECT_FALSE(BoxInFront(*cube, camera, d));
  // A corner reaching past the plane is enough.
  cube->SetPosition({0, 0, 1.8});
  EXPECT_TRUE(BoxInFront(*cube, camera, d));
  // No vertex at all: nothing to draw.
  TSolidObject empty;
  EXPECT_FALSE(BoxInFront(empty, camera, d));
}

TEST(AboutFlightTest, MissingOrCorruptSceneLeavesTheFlightOverAnEmptyScene) {
  test::TTempFolder f("about");
  TScriptedPrompt prompt;
  {
    TScene scene;
    TAboutFlight flight(scene);
    EXPECT_FALSE(flight.LoadScene("", prompt));
    EXPECT_EQ(scene.ObjectCount(), 0);
  }
  const std::string corrupt = f.File("mirlo.dat");
  std::ofstream(corrupt, std::ios::binary) << "PK\x03\x04 not really an archive";
  TScene scene;
  TAboutFlight flight(scene);
  EXPECT_FALSE(flight.LoadScene(corrupt, prompt));
  EXPECT_EQ(scene.ObjectCount(), 0);

  // The shipped scene loads, nothing selected.
  TScene shipped;
  TAboutFlight over(shipped);
  ASSERT_TRUE(over.LoadScene(FindDataFile(kAboutSceneFile), prompt));
  EXPECT_GT(shipped.ObjectCount(), 30);
  EXPECT_FALSE(shipped.HasSelection());
}

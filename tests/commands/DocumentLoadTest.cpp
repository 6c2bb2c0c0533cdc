// Documents read on a thread of their own: the user's scene stays as it is, and usable, until the
// read ends and the scene is taken in on the thread that opened it.
#include <gtest/gtest.h>

#include <thread>

#include "CubeScenes.h"
#include "TempFolder.h"
#include "commands/Modeller.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

class DocumentLoadTest : public ::testing::Test {
 protected:
  DocumentLoadTest()
      : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)),
        Modeller(Scene, Prompt, Clipboard, &Settings, nullptr) {
    Scene.NewScene(true);
  }
  // A document of a light, `cubes` cubes, a 3D text and a mesh solid: what the reader touches
  // that the whole run shares (the mesh store, the fonts) is in it.
  std::string Document(const std::string& name, int cubes) {
    TScene s;
    test::FillWithCubes(s, cubes);
    TScriptedPrompt quiet;
    TMemoryClipboard clip;
    TModeller m(s, quiet, clip, nullptr, nullptr);
    m.Insert(TInsertCommand::Texte3D);
    MeshName = KeepMesh(CreateSphere(12, 12, 0xFFFFFFFF, 0.5)->Composantes);
    s.AddObject(CreateMeshSolid(MeshName, "boule.stl", 0xFFFF0000), "boule");
    const std::string path = Folder.File(name);
    EXPECT_TRUE(SaveDocument(s, path, true));
    return path;
  }

  test::TTempFolder Folder{"document-load"};
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TSettingsStore Settings;
  TScene Scene;
  TModeller Modeller;
  std::string MeshName;
};

}  // namespace

TEST_F(DocumentLoadTest, TheReadRunsOffTheCallingThreadAndTheSceneIsTakenInOnlyAtTheEnd) {
  const std::string path = Document("grand.ixr", 300);
  Modeller.Insert(TInsertCommand::Sphere);
  const std::string before = WriteSceneText(Scene);
  const TObjectId sphere = Scene.IdAt(1);

  // Read whole but not yet finished: nothing of the user's scene has changed.
  TDocumentSession& session = Modeller.Session();
  ASSERT_TRUE(session.StartOpen(path));
  EXPECT_FALSE(session.StartOpen(path)) << "one document at a time";
  TDocumentLoad& load = *session.Load();
  while (!load.Ended(std::chrono::milliseconds(50))) {
  }
  EXPECT_NE(load.ReaderThread(), std::this_thread::get_id());
  EXPECT_EQ(load.Loaded().ObjectCount(), 303);
  EXPECT_EQ(WriteSceneText(Scene), before);
  // Declined at the save question: the read is dropped, the scene as it was.
  EXPECT_FALSE(session.FinishOpen([] { return false; }));
  EXPECT_FALSE(session.Loading());
  EXPECT_EQ(WriteSceneText(Scene), before);

  // Through the modeller, with a window's events turning while the reader works: every poll sees
  // the user's scene whole and drawable (the mesh store and fonts used meanwhile, as drawing and
  // inserts do), a second open refused, and the progress told on this thread.
  const std::thread::id self = std::this_thread::get_id();
  int polls = 0, reports = 0;
  bool progressElsewhere = false;
  Modeller.OnProgress = [&](const std::string&, int) {
    ++reports;
    progressElsewhere |= std::this_thread::get_id() != self;
  };
  TScene side;
  TScriptedPrompt quiet;
  TModeller other(side, quiet, Clipboard, nullptr, nullptr);
  Modeller.WhileLoading = [&](const std::function<bool()>& ended) {
    do {
      ++polls;
      EXPECT_TRUE(Modeller.Loading());
      EXPECT_EQ(Scene.ObjectCount(), 2);
      EXPECT_EQ(Scene.IdAt(1), sphere);
      EXPECT_FALSE(Modeller.OpenPath(path));
      if (polls < 20) other.Insert(TInsertCommand::Texte3D);
      EXPECT_NE(FindMesh(MeshName), nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (!ended());
    return true;
  };
  Prompt.QueueAnswer(TAnswer::No);  // the sphere is not saved
  ASSERT_TRUE(Modeller.OpenPath(path));
  EXPECT_GE(reports, 1);
  EXPECT_FALSE(progressElsewhere);
  EXPECT_FALSE(Modeller.Loading());
  EXPECT_EQ(Scene.ObjectCount(), 303);
  EXPECT_EQ(Scene.FileName, path);
  EXPECT_EQ(Scene.SolidAt(Scene.IndexOfName("boule"))->ShapeType, stMaillage);
  EXPECT_FALSE(Modeller.CanUndo());
  ASSERT_EQ(Prompt.Shown().size(), 1u) << "the save question alone";
}

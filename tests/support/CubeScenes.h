// Scenes made through the commands, as a user would make them: the new scene's light and a
// number of cubes.
#pragma once

#include "commands/Modeller.h"
#include "platform/Clipboard.h"
#include "platform/Prompt.h"
#include "scene/Scene.h"

namespace ixoral::test {

// Starts `scene` anew and inserts `cubes` cubes with the modeller's insert command.
inline void FillWithCubes(TScene& scene, int cubes) {
  scene.NewScene(true);
  TScriptedPrompt quiet;
  TMemoryClipboard clip;
  TModeller m(scene, quiet, clip, nullptr, nullptr);
  for (int k = 0; k < cubes; ++k) m.Insert(TInsertCommand::Cube);
}

}  // namespace ixoral::test

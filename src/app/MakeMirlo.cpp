// Builds the about box's scene, "mirlo.dat": a small garden of the modeller's own shapes — a
// meadow, a golden ring round a sun, a colonnade, trees, pyramids on the horizon, the program's
// name in relief and a spiral overhead — laid out along the flight path of the about box.
// Run as: ixoral-make-mirlo OUTPUT (the shipped file is data/mirlo.dat).
#include <cstdio>
#include <optional>
#include <string>

#include "commands/Modeller.h"
#include "document/SceneDocument.h"
#include "scene/Regenerate.h"

using namespace ixoral;

namespace {

struct TPlacer {
  TScene& Scene;
  TModeller& Modeller;

  TSolidObject& Add(TInsertCommand kind, const std::string& name, D3DCOLOR colour, Vec3d at, Vec3d scale,
                    std::optional<Vec3d> direction = std::nullopt) {
    const int index = Modeller.Insert(kind);
    TSolidObject& s = *Scene.SolidAt(index);
    Scene.RenameObject(index, name);
    s.SetColor(colour);
    s.SetScale(scale);
    if (direction) s.SetDirection(*direction);
    s.SetPosition(at);
    return s;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ixoral-make-mirlo OUTPUT\n");
    return 2;
  }
  TScriptedPrompt prompt;
  TScene scene;
  scene.NewScene(true);
  TMemoryClipboard clipboard;
  TModeller modeller(scene, prompt, clipboard, nullptr, nullptr);
  TPlacer put{scene, modeller};
  const Vec3d up{0, 1, 0};

  put.Add(TInsertCommand::ParoiH, "Prairie", 0xFF3F8F3A, {0, -1, 1.5}, {18, 1, 18});
  put.Add(TInsertCommand::Tore, "Anneau", 0xFFE8B830, {0, -0.7, 0}, {0.8, 0.8, 0.8});
  put.Add(TInsertCommand::Sphere, "Soleil", 0xFFF06A28, {0, -0.45, 0}, {0.45, 0.45, 0.45});
  put.Add(TInsertCommand::CubePerce, "Lanterne", 0xFF3C64D8, {0, 0.5, 0}, {0.3, 0.3, 0.3});
  for (int k = 0; k < 5; ++k) {
    const double z = 0.5 + k;
    for (const double x : {-1.7, 1.7}) {
      const std::string side = x < 0 ? "G" : "D";
      put.Add(TInsertCommand::Cylindre, "Colonne" + side + std::to_string(k + 1), 0xFFF2EEE4, {x, -0.25, z},
              {0.22, 0.22, 1.5}, up);
      put.Add(TInsertCommand::Cube, "Chapiteau" + side + std::to_string(k + 1), 0xFFD9D2C4, {x, 0.55, z},
              {0.8, 0.2, 0.8});
    }
    for (const double x : {-2.8, 2.8}) {
      const std::string side = x < 0 ? "G" : "D";
      put.Add(TInsertCommand::Cone, "Sapin" + side + std::to_string(k + 1), 0xFF1E6B32,
              {x, -1, z + (x < 0 ? 0.3 : -0.2)}, {0.8, 0.8, 1.6 + 0.15 * (k % 3)}, up);
    }
  }
  put.Add(TInsertCommand::Pyramide, "Pyramide1", 0xFFE0C080, {-1.4, -1, -3.2}, {2.2, 2.2, 1.6}, up);
  put.Add(TInsertCommand::Pyramide, "Pyramide2", 0xFFD8B070, {0.9, -1, -3.8}, {2.8, 2.8, 2.1}, up);
  put.Add(TInsertCommand::Pyramide, "Pyramide3", 0xFFE6C890, {2.6, -1, -3.0}, {1.6, 1.6, 1.1}, up);
  {
    // The program's name in relief: the text regenerated from its parameters, then placed.
    TSolidObject& title =
        put.Add(TInsertCommand::Texte3D, "Titre", 0xFFC8202C, {0, 1.9, -2.2}, {1, 1, 1}, Vec3d{0, 0, -1});
    title.SetTextParam(1, "IXORAL");
    if (auto made = RegenerateSolid(title.ShapeType, title, title.Color)) {
      title.Composantes = made->Composantes;
      for (int i = 1; i <= 10; ++i) title.SetParam(i, made->GetParam(i));
    }
  }
  put.Add(TInsertCommand::Parametrique, "Spirale", 0xFF9050D0, {0, 3.2, 5}, {1.6, 1.6, 1.6}, up);
  put.Add(TInsertCommand::Tore, "Halo", 0xFFF0D050, {0, 4.6, 5}, {1.4, 1.4, 1.4});
  put.Add(TInsertCommand::Cercle, "Bassin", 0xFF3070C0, {0, -0.98, 4.8}, {1.6, 1.6, 1.6}, up);
  // The sun of the garden: a light from above and aside that reaches every corner of it, without
  // the fall-off a spot has with distance.
  if (TLight* sun = scene.LightAt(0)) {
    sun->SetType(ltAimed);
    sun->SetPosition({-3, 6, -2});
    sun->SetDirection({0.45, -1, 0.35});
    sun->AimVector = sun->VectDir;
  }
  scene.ClearSelection();
  return SaveDocument(scene, argv[1], true).Ok() ? 0 : 1;
}

// ixoral-cli: the batch tool. Works on scenes and documents without a window.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/NumberFormat.h"
#include "scene/Scene.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

void Usage() {
  std::puts(
      "ixoral-cli: the Ixoral modeller's batch tool\n"
      "\n"
      "  ixoral-cli inserts            build every default insert of the modeller and describe it\n"
      "  ixoral-cli scene KIND...      a new scene (default light) with these inserts, listed\n"
      "                                (KIND: cube cubeperce cylindre cone pyramide tore sphere\n"
      "                                 cercle paroiv paroih)\n"
      "  ixoral-cli help               this text");
}

std::string Pos(const Vec3d& v) {
  return FormatNumber(v.x, '.') + " " + FormatNumber(v.y, '.') + " " + FormatNumber(v.z, '.');
}

int Inserts() {
  std::printf("%-12s %-16s %10s %9s  %s\n", "insert", "shape", "components", "vertices",
              "bounds (min / max)");
  for (const auto& d : InsertDefaults) {
    auto solid = d.Create();
    Vec3d mn, mx;
    ComposantesBounds(solid->Composantes, mn, mx);
    std::printf("%-12s %-16s %10d %9zu  %s / %s\n", d.Keyword, ShapeTypeNames[solid->ShapeType],
                solid->ComposanteCount(), solid->VertexCount(), Pos(mn).c_str(), Pos(mx).c_str());
  }
  return 0;
}

int Scene(int argc, char** argv) {
  TStderrPrompt prompt;
  TScene scene(nullptr, &prompt);
  scene.NewScene(true);
  int counters[InsertDefaults.size()] = {};
  for (int a = 0; a < argc; ++a) {
    const TInsertDefault* d = FindInsertDefault(argv[a]);
    if (!d) {
      std::fprintf(stderr, "Forme inconnue : %s\n", argv[a]);
      return 1;
    }
    const size_t k = static_cast<size_t>(d - InsertDefaults.data());
    scene.AddObject(d->Create(), d->Prefix + std::to_string(++counters[k]));
  }
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const T3dObject* o = scene.ObjectAt(i);
    const bool light = o->IsLight();
    const int type = light ? static_cast<const TLight*>(o)->LightType
                           : static_cast<const TSolidObject*>(o)->ShapeType;
    std::printf("%d\t%s\t%s\t%d\t%s\n", i, light ? "LightObject" : "SolidObject", o->Name().c_str(),
                type, Pos(o->Position).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help")) {
    Usage();
    return argc < 2 ? 1 : 0;
  }
  const std::string cmd = argv[1];
  if (cmd == "inserts") return Inserts();
  if (cmd == "scene") return Scene(argc - 2, argv + 2);
  std::fprintf(stderr, "Commande inconnue : %s\n", cmd.c_str());
  Usage();
  return 1;
}

// ixoral-cli: the batch tool. Builds, inspects, converts and exports scene documents without a
// window. Failures print the system's French message on standard error and exit with status 1.
#include <cctype>
#include <cmath>
#include <optional>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/Modeller.h"
#include "document/MeshSolids.h"
#include "document/ModelExport.h"
#include "document/PictureExport.h"
#include "document/PovExport.h"
#include "document/SceneDocument.h"
#include "platform/Encoding.h"
#include "platform/NumberFormat.h"
#include "scene/Scene.h"
#include "scene/Shapes.h"
#include "storage/Archive.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "ixoral-cli: the Ixoral modeller's batch tool\n"
    "\n"
    "  ixoral-cli new OUTPUT.ixr [--insert KIND [--at X,Y,Z]]... [--force]\n"
    "      a new scene (default light) with the modeller's inserts in the order given, saved\n"
    "      KIND: cube cubeperce cylindre cone pyramide tore sphere cercle paroiv paroih param texte\n"
    "  ixoral-cli info DOCUMENT          one line per object: index, kind, name, type, position\n"
    "  ixoral-cli resave DOCUMENT OUTPUT.ixr [--force]\n"
    "  ixoral-cli export-pov DOCUMENT OUTPUT.pov [--view N] [--as-written] [--force]   (N 0..3, default 3)\n"
    "      deformed and textured solids as meshes, their pictures beside the scene as PNG;\n"
    "      --as-written: every solid from its shape alone, as the scene description first was\n"
    "  ixoral-cli export DOCUMENT OUTPUT.(glb|obj|stl) [--selection NAME...] [--force]\n"
    "      the visible solids (or the named objects) in world placement: glTF 2.0 binary with\n"
    "      the lights, Wavefront OBJ with its material file and textures beside it, binary STL\n"
    "  ixoral-cli render DOCUMENT OUTPUT.(bmp|jpg) [--view N] [--resolution K | --size WxH]\n"
    "             [--four-views] [--style classique|moderne] [--force]\n"
    "      a picture of the scene: by default the single-view camera at 800x600; --view N draws\n"
    "      view N (0 Face, 1 Gauche, 2 Haut, 3 Perspective) with its camera; --four-views the four\n"
    "      views as the modeller shows them. K: 0 320x240, 1 640x480, 2 800x600, 3 1024x768,\n"
    "      4 1600x1200. --style moderne: the modeller's modern look (fill light, gradient,\n"
    "      smoothed edges); classique, the default, draws as the views always did\n"
    "  ixoral-cli import DOCUMENT MESH... --output OUTPUT.ixr [--force]\n"
    "      the document (\"-\": a new scene) with one solid per mesh of each file added, saved:\n"
    "      STL, OBJ (with its materials), glTF 2.0 (.gltf, .glb) and PLY\n"
    "  ixoral-cli text DOCUMENT          the scene text, bytes unchanged, on standard output\n"
    "  ixoral-cli archive list ARCHIVE\n"
    "  ixoral-cli archive extract ARCHIVE FOLDER [--force]\n"
    "  ixoral-cli archive add ARCHIVE FILE...\n"
    "  ixoral-cli inserts                describe every default insert of the modeller\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return 1;
}

// An archive's refusal: its message, then what was found wrong on a line of its own.
int Fail(const TArchiveError& e) { return Fail(e.Reason().empty() ? e.what() : e.what() + ("\n" + e.Reason())); }

// A library's result told on standard error: its notes, then its failure's message; 0 or 1.
int Finish(IPrompt& prompt, const TResult& result, TNoticeKind notices = TNoticeKind::Information) {
  return ShowResult(prompt, result, notices) ? 0 : 1;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 1;
}

// Arguments after the command: positional ones, plus the flags the commands know.
struct TArgs {
  std::vector<std::string> Positional;
  std::vector<std::string> Inserts;
  std::vector<std::string> Places;  // one per insert, empty when not given
  bool Force = false;
  bool AsWritten = false;
  int View = 3;
  bool ViewGiven = false;
  int Resolution = -1;
  std::string Size;
  bool FourViews = false;
  TViewStyle Style = TViewStyle::Classique;
  bool Selection = false;
  std::string Output;
  std::string Error;
};

TArgs ParseArgs(int argc, char** argv, int from) {
  TArgs a;
  for (int i = from; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--as-written") {
      a.AsWritten = true;
    } else if (s == "--force") {
      a.Force = true;
    } else if (s == "--insert" && i + 1 < argc) {
      a.Inserts.push_back(argv[++i]);
      a.Places.emplace_back();
    } else if (s == "--at" && i + 1 < argc) {
      if (a.Inserts.empty() || !a.Places.back().empty())
        a.Error = "--at suit un --insert";
      else
        a.Places.back() = argv[++i];
    } else if (s == "--view" && i + 1 < argc) {
      const std::string v = argv[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '3')
        a.Error = "Vue inconnue : " + v;
      else
        a.View = v[0] - '0', a.ViewGiven = true;
    } else if (s == "--resolution" && i + 1 < argc) {
      const std::string v = argv[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '4')
        a.Error = kMsgUnknownResolution + v;
      else
        a.Resolution = v[0] - '0';
    } else if (s == "--size" && i + 1 < argc) {
      a.Size = argv[++i];
    } else if (s == "--selection") {
      a.Selection = true;  // the names follow among the positional arguments
    } else if (s == "--output" && i + 1 < argc) {
      a.Output = argv[++i];
    } else if (s == "--four-views") {
      a.FourViews = true;
    } else if (s == "--style" && i + 1 < argc) {
      if (!ViewStyleFromName(argv[++i], a.Style)) a.Error = std::string("Style inconnu : ") + argv[i];
    } else if (s.rfind("--", 0) == 0) {
      a.Error = "Option inconnue : " + s;
    } else {
      a.Positional.push_back(s);
    }
  }
  return a;
}

std::string Pos(const Vec3d& v) {
  return FormatPovNumber(v.x) + "\t" + FormatPovNumber(v.y) + "\t" + FormatPovNumber(v.z);
}

// Commands that only read the scene (listing it, exporting it for POV-Ray) leave its texture
// images in the archive; drawing and saving it need them. The reader's messages are told.
bool Load(TScene& scene, const std::string& path, IPrompt& prompt, TTextureUse textures = TTextureUse::Extract) {
  scene.NewScene(false);
  return ShowResult(prompt, LoadDocument(scene, path, {}, textures), TNoticeKind::Error, path);
}

// Places the scene's last object at "X,Y,Z" (numbers with a decimal point).
bool PlaceLast(TScene& scene, const std::string& text) {
  double v[3];
  size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    const size_t end = k < 2 ? text.find(',', start) : text.size();
    if (end == std::string::npos) return false;
    const std::optional<double> x = ParseNumber(text.substr(start, end - start));
    if (!x || !std::isfinite(*x)) return false;
    v[k] = *x;
    start = end + 1;
  }
  T3dObject* o = scene.ObjectAt(scene.ObjectCount() - 1);
  if (!o) return false;
  o->SetPosition({v[0], v[1], v[2]});
  return true;
}

int CmdNew(const TArgs& a) {
  if (a.Positional.size() != 1) return Usage();
  TStderrPrompt prompt;
  TScene scene;
  scene.NewScene(true);
  TMemoryClipboard clipboard;
  TModeller modeller(scene, prompt, clipboard, nullptr, nullptr);
  for (size_t k = 0; k < a.Inserts.size(); ++k) {
    // The position of the previous insert, once it is in the scene.
    if (k > 0 && !a.Places[k - 1].empty() && !PlaceLast(scene, a.Places[k - 1]))
      return Fail("Position illisible : " + a.Places[k - 1]);
    const TInsertCommandInfo* insert = FindInsertCommand(a.Inserts[k]);
    if (!insert) return Fail("Forme inconnue : " + a.Inserts[k]);
    modeller.Insert(insert->Command);
  }
  if (!a.Places.empty() && !a.Places.back().empty() && !PlaceLast(scene, a.Places.back()))
    return Fail("Position illisible : " + a.Places.back());
  return Finish(prompt, SaveDocument(scene, a.Positional[0], a.Force));
}

int CmdInfo(const TArgs& a) {
  if (a.Positional.size() != 1) return Usage();
  TStderrPrompt prompt;
  TScene scene;
  if (!Load(scene, a.Positional[0], prompt, TTextureUse::Skip)) return 1;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const T3dObject* o = scene.ObjectAt(i);
    const bool light = o->IsLight();
    const int type = light ? static_cast<const TLight*>(o)->LightType : static_cast<const TSolidObject*>(o)->ShapeType;
    // Names come from the document: what a terminal would obey in them is printed, not run.
    std::printf("%d\t%s\t%s\t%d\t%s\n", i, light ? "LightObject" : "SolidObject", TerminalSafe(o->Name()).c_str(), type,
                Pos(o->Position).c_str());
  }
  return 0;
}

int CmdResave(const TArgs& a) {
  if (a.Positional.size() != 2) return Usage();
  TStderrPrompt prompt;
  TScene scene;
  if (!Load(scene, a.Positional[0], prompt)) return 1;
  return Finish(prompt, SaveDocument(scene, a.Positional[1], a.Force));
}

int CmdExportPov(const TArgs& a) {
  if (a.Positional.size() != 2) return Usage();
  TStderrPrompt prompt;
  TScene scene;
  if (!Load(scene, a.Positional[0], prompt, TTextureUse::Skip)) return 1;
  TPovExportOptions options;
  options.AsWritten = a.AsWritten;
  return Finish(prompt, ExportPovScene(scene, a.View, a.Positional[1], a.Force, options), TNoticeKind::Error);
}

// export DOCUMENT OUTPUT [--selection NAME...]: the names after the output are the objects.
int CmdExport(const TArgs& a) {
  if (a.Positional.size() < 2 || (a.Positional.size() > 2 && !a.Selection) || (a.Selection && a.Positional.size() == 2))
    return Usage();
  std::error_code ec;
  if (fs::exists(a.Positional[1], ec) && !a.Force) return Fail(kMsgOverwrite + a.Positional[1]);
  TStderrPrompt prompt;
  TScene scene;
  if (!Load(scene, a.Positional[0], prompt)) return 1;
  TModelExportOptions options;
  options.Overwrite = a.Force;  // its material file and pictures replace nothing without --force either
  options.SelectionOnly = a.Selection;
  for (size_t k = 2; k < a.Positional.size(); ++k) {
    const int i = scene.IndexOfName(a.Positional[k]);
    if (i < 0) return Fail("Objet inconnu : " + a.Positional[k]);
    options.Objects.push_back(i);
  }
  return Finish(prompt, ExportModel(scene, a.Positional[1], options));
}

int CmdImport(const TArgs& a) {
  if (a.Positional.size() < 2 || a.Output.empty()) return Usage();
  std::error_code ec;
  if (fs::exists(a.Output, ec) && !a.Force) return Fail(kMsgOverwrite + a.Output);
  TStderrPrompt prompt;
  TScene scene;
  if (a.Positional[0] == "-")
    scene.NewScene(true);
  else if (!Load(scene, a.Positional[0], prompt))
    return 1;
  const std::vector<std::string> meshes(a.Positional.begin() + 1, a.Positional.end());
  const TExpected<TAddedSolids> added = ImportMeshFiles(scene, meshes);
  if (!added) return Finish(prompt, added.Error());
  for (const std::string& notice : added->Notices) prompt.Information(notice);
  return Finish(prompt, SaveDocument(scene, a.Output, a.Force));
}

// The picture format of an output name by its extension: 2 bitmap, 3 JPEG, 0 unknown.
int PictureFormatOf(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return pfBitmap;
  if (ext == ".jpg" || ext == ".jpeg") return pfJpeg;
  return 0;
}

int CmdRender(const TArgs& a) {
  if (a.Positional.size() != 2) return Usage();
  const std::string& output = a.Positional[1];
  const int format = PictureFormatOf(output);
  if (format == 0) return Fail("Format d'image inconnu : " + output + " (bmp, jpg)");
  int resolution = a.Resolution;
  if (!a.Size.empty()) {
    if (resolution >= 0) return Fail("--resolution et --size ne vont pas ensemble");
    int w = 0, h = 0;
    char rest = 0;
    if (std::sscanf(a.Size.c_str(), "%dx%d%c", &w, &h, &rest) != 2 || (resolution = ResolutionIndex(w, h)) < 0)
      return Fail(kMsgUnknownResolution + a.Size + " (320x240, 640x480, 800x600, 1024x768, 1600x1200)");
  }
  if (resolution < 0) resolution = kDefaultResolution;
  const TResolution size = ExportResolutions[size_t(resolution)];
  TStderrPrompt prompt;
  // A scene of the picture's size: its own surface is what --view and --four-views draw.
  TDisplayScene drawn(size.Width, size.Height, nullptr, nullptr);
  TScene& scene = drawn.Scene;
  TSceneRenderer& renderer = drawn.Renderer;
  scene.FourViews = a.FourViews;
  if (!renderer.InitDevice()) return Fail("Erreur lors de l'initialisation :");
  if (!Load(scene, a.Positional[0], prompt)) return 1;
  scene.ClearSelection();  // the picture shows the scene, not the last object read
  if (a.FourViews) {
    // As the modeller shows it: grid and axes on, view 0 active.
    renderer.ShowGrid = renderer.ShowAxes = true;
    renderer.Look.Style = a.Style;
    std::error_code ec;
    if (fs::exists(output, ec) && !a.Force) return Fail(kMsgOverwrite + output);
    renderer.RedrawViews(0, 0, false);
    if (!WritePicture(output, *renderer.Display().OffscreenSurface(), format)) return Fail(kMsgFileAccess + output);
  } else {
    std::error_code ec;
    if (fs::exists(output, ec) && !a.Force) return Fail(kMsgOverwrite + output);
    // An existing output was refused above without --force.
    if (Finish(prompt,
               ExportPicture(renderer, a.View, output, a.ViewGiven, resolution, format, true, nullptr, a.Style)) != 0)
      return 1;
  }
  std::printf("%s\t%dx%d\n", output.c_str(), size.Width, size.Height);
  return 0;
}

int CmdText(const TArgs& a) {
  if (a.Positional.size() != 1) return Usage();
  try {
    TZLBArchive archive;
    archive.OpenArchive(a.Positional[0]);
    if (archive.EntryCount() < 1) return Fail(kMsgFileAccess + a.Positional[0]);
    std::string text;
    archive.ExtractToStream(0, text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  } catch (const TArchiveError& e) {
    return Fail(e);
  }
}

int CmdArchive(const TArgs& a) {
  if (a.Positional.size() < 2) return Usage();
  const std::string& verb = a.Positional[0];
  const std::string& path = a.Positional[1];
  try {
    TZLBArchive archive;
    if (verb == "list" && a.Positional.size() == 2) {
      archive.OpenArchive(path);
      for (int i = 0; i < archive.EntryCount(); ++i) {
        const ZLBEntry e = archive.GetEntry(i);
        std::printf("%d\t%s\t%u\t%u\t%u\t%08X\n", i, TerminalSafe(e.FileNameUtf8()).c_str(), e.UncompressedSize,
                    e.BlockSize, e.Stored, e.Crc);
      }
      return 0;
    }
    if (verb == "extract" && a.Positional.size() == 3) {
      archive.OpenArchive(path);
      // Files already there are replaced only with --force, as every other command's outputs.
      if (!a.Force)
        for (int i = 0; i < archive.EntryCount(); ++i) {
          const std::string target = (fs::path(a.Positional[2]) / archive.GetEntry(i).FileNameUtf8()).string();
          std::error_code ec;
          if (fs::exists(fs::symlink_status(target, ec))) return Fail(kMsgOverwrite + TerminalSafe(target));
        }
      archive.ExtractAll(a.Positional[2]);
      return 0;
    }
    if (verb == "add" && a.Positional.size() >= 3) {
      std::error_code ec;
      if (fs::exists(path, ec))
        archive.OpenArchive(path);
      else
        archive.CreateArchive(path);
      std::vector<TArchiveInput> inputs;
      for (size_t k = 2; k < a.Positional.size(); ++k)
        inputs.push_back({fs::path(a.Positional[k]).filename().string(), a.Positional[k], nullptr});
      if (!archive.AddEntries(inputs)) return Fail(ArchiveMessage(kArcCannotOpen, a.Positional[2]));
      return 0;
    }
  } catch (const TArchiveError& e) {
    return Fail(e);
  }
  return Usage();
}

int CmdInserts() {
  std::printf("%-12s %-16s %10s %9s  %s\n", "insert", "shape", "components", "vertices", "bounds (min / max)");
  for (const auto& d : InsertDefaults) {
    auto solid = d.Create();
    Vec3d mn, mx;
    ComposantesBounds(solid->Composantes, mn, mx);
    std::printf("%-12s %-16s %10d %9zu  %s / %s\n", d.Keyword, ShapeTypeNames[solid->ShapeType],
                solid->ComposanteCount(), solid->VertexCount(), FormatPovVector(mn).c_str(),
                FormatPovVector(mx).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const TArgs args = ParseArgs(argc, argv, 2);
  if (!args.Error.empty()) return Fail(args.Error);
  if (!args.Inserts.empty() && cmd != "new") return Usage();
  if (cmd == "new") return CmdNew(args);
  if (cmd == "info") return CmdInfo(args);
  if (cmd == "resave") return CmdResave(args);
  if (cmd == "export-pov") return CmdExportPov(args);
  if (cmd == "export") return CmdExport(args);
  if (cmd == "import") return CmdImport(args);
  if (cmd == "text") return CmdText(args);
  if (cmd == "render") return CmdRender(args);
  if (cmd == "archive") return CmdArchive(args);
  if (cmd == "inserts") return CmdInserts();
  std::fprintf(stderr, "Commande inconnue : %s\n", cmd.c_str());
  return Usage();
}

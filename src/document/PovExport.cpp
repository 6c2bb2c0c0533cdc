// Writes a scene as a POV-Ray scene description.
#include "document/PovExport.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "document/SceneDocument.h"
#include "platform/NumberFormat.h"
#include "scene/GlyphOutline.h"
#include "storage/OutputFile.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {
constexpr const char* kEol = "\r\n";
double Degrees(double radians) { return radians * 180 / std::numbers::pi; }
}  // namespace

std::string FormatPovNumber(double v) { return FormatNumber(static_cast<float>(v), '.'); }

std::string FormatPovVector(double x, double y, double z) {
  return "< " + FormatPovNumber(x) + ", " + FormatPovNumber(y) + ", " + FormatPovNumber(z) + " >";
}
std::string FormatPovVector(const Vec3d& v) { return FormatPovVector(v.x, v.y, v.z); }

std::string FormatPovMatrix(const D3DMATRIX& m) {
  std::string s = std::string("  matrix < ") + kEol;
  for (int r = 0; r < 3; ++r)
    s += "  " + FormatPovNumber(m.m[r][0]) + ", " + FormatPovNumber(m.m[r][1]) + ", " + FormatPovNumber(m.m[r][2]) +
         ", " + kEol;
  s += "  " + FormatPovNumber(m._41) + ", " + FormatPovNumber(m._42) + ", " + FormatPovNumber(m._43) + " >";
  return s;
}

std::string FormatPovString(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') s += '\\';
    s += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  }
  return s + "\"";
}

TExpected<std::string> FindFontFile(const std::string& fontName) {
  if (!FontLookupAvailable()) return TError(kMsgFontLookupImpossible);
  const TFontResolution font = ResolveFontFamily(fontName);
  std::error_code ec;
  if (font.Found && fs::is_regular_file(font.File, ec)) return font.File;
  return TError(kMsgFontFileNotFound);
}

void WritePovTriangle(std::ostream& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
  auto corner = [](const D3DVERTEX& v) {
    return "  <" + FormatPovNumber(v.x) + "," + FormatPovNumber(v.y) + "," + FormatPovNumber(v.z) + ">";
  };
  out << "  triangle {" << kEol << corner(a) << "," << kEol << corner(b) << "," << kEol << corner(c) << kEol << "  }"
      << kEol;
}

TResult WritePovSolid(std::ostream& out, const TSolidObject& s) {
  TResult written;
  const double p1 = s.GetParam(1), p2 = s.GetParam(2);
  Vec3d translate = s.Position;
  switch (s.ShapeType) {
    case stCube:
      out << "box { " << FormatPovVector(-p1 / 2, -p1 / 2, -p1 / 2) << "," << kEol
          << FormatPovVector(p1 / 2, p1 / 2, p1 / 2) << kEol;
      break;
    case stCylindre:
      out << "cylinder { " << FormatPovVector(0, 0, -p2 / 2) << ", " << kEol << "  " << FormatPovVector(0, 0, p2 / 2)
          << kEol << "  " << FormatPovNumber(p1) << kEol;
      break;
    case stTore:
      out << "torus { " << FormatPovNumber(p1) << ", " << FormatPovNumber(p2) << kEol;
      break;
    case stSphere:
      out << "sphere { " << FormatPovVector(0, 0, 0) << ", " << FormatPovNumber(p1) << kEol;
      break;
    case stCone:
      out << "cone { " << FormatPovVector(0, 0, 0) << ", " << FormatPovNumber(p1) << kEol << "   "
          << FormatPovVector(0, 0, p2) << ", 0" << kEol;
      break;
    case stTexte3d: {
      // The text's own font, else Times New Roman, else no font at all.
      std::string font;
      for (const std::string& family : {s.GetTextParam(2), std::string("Times New Roman")}) {
        const TExpected<std::string> found = FindFontFile(family);
        if (found) {
          font = *found;
          break;
        }
        written.AddNotice(found.Error().Message);
      }
      out << "text { ttf " << FormatPovString(font) << " " << FormatPovString(s.GetTextParam(1)) << " "
          << FormatPovNumber(0.5) << " , " << FormatPovVector(p2 / 3500, 0, 0) << kEol;
      const D3DLVERTEX& m = s.SelectionMarks[0];
      translate = {translate.x + m.x, translate.y + m.y, translate.z + m.z};
      break;
    }
    default:
      out << "object {" << kEol << "  union {" << kEol;
      for (const auto& c : s.Composantes) {
        const auto& v = c.Vertices;
        if (v.size() <= 2) continue;
        switch (c.PrimitiveType) {
          case D3DPT_TRIANGLELIST:
            for (size_t k = 0; k + 2 < v.size(); k += 3) WritePovTriangle(out, v[k], v[k + 1], v[k + 2]);
            break;
          case D3DPT_TRIANGLESTRIP:
            for (size_t k = 2; k < v.size(); ++k) WritePovTriangle(out, v[k - 2], v[k - 1], v[k]);
            break;
          case D3DPT_TRIANGLEFAN:
            for (size_t k = 1; k + 1 < v.size(); ++k) WritePovTriangle(out, v[0], v[k], v[k + 1]);
            break;
          default:
            break;
        }
      }
      out << "  }" << kEol;
      break;
  }
  out << "  scale " << FormatPovVector(s.Redim) << kEol;
  out << FormatPovMatrix(s.RotationMatrix) << kEol;
  out << "  translate " << FormatPovVector(translate) << kEol;
  const D3DCOLOR c = s.Color;
  const double r = ((c >> 16) & 0xFF) / 255.0, g = ((c >> 8) & 0xFF) / 255.0, b = (c & 0xFF) / 255.0;
  const double t = 1 - ((c >> 24) & 0xFF) / 255.0;
  const double p = s.Specular;
  const double v = p > 0 ? 5 - p + 0.1 : 0;
  const double specularTerm = v == 0 ? 0 : (v < 4 ? 0.8 : 1.2);
  const double diffuse = v == 0 ? 0.6 : (v < 4 ? 0.7 : 1.5);
  out << "    texture { " << kEol << "      pigment { rgbt < " << FormatPovNumber(r) << ", " << FormatPovNumber(g)
      << ", " << FormatPovNumber(b) << ", " << FormatPovNumber(t) << "> }" << kEol << "      finish { " << kEol
      << "        ambient 0" << kEol << "        specular " << FormatPovNumber(specularTerm) << kEol
      << "        diffuse " << FormatPovNumber(diffuse) << kEol << "      }" << kEol << "    }" << kEol << "}" << kEol;
  return written;
}

TResult ExportPovScene(TScene& scene, int viewIndex, const std::string& path, bool overwrite) {
  std::error_code ec;
  if (fs::exists(path, ec) && !overwrite) return ReplaceRefused(path);
  const TVue& view = scene.Views[static_cast<size_t>(std::clamp(viewIndex, 0, 3))];
  std::ostringstream out;
  TResult exported;
  const auto writeSolid = [&](const TSolidObject& solid) {
    const TResult written = WritePovSolid(out, solid);
    for (const std::string& notice : written.Notices()) exported.AddNotice(notice);
  };
  // POV-Ray 3.7 warns about scenes that name neither their language version nor their gamma.
  out << "#version 3.7;" << kEol << "global_settings { assumed_gamma 1.0 }" << kEol;
  out << "#include \"colors.inc\"" << kEol << "#include \"textures.inc\"" << kEol;
  out << "camera {" << kEol << "location " << FormatPovVector(view.Camera.Position) << kEol << "look_at "
      << FormatPovVector(ToDouble(view.Camera.Direction)) << kEol << "}" << kEol;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TLight* l = scene.LightAt(i);
    if (!l || !l->Afficher) continue;
    D3DLIGHT7 d;
    if (l->DeviceIndex >= 1) scene.Device().GetLight(l->DeviceIndex, d);
    const D3DCOLOR c = l->Color;
    out << "light_source { " << FormatPovVector(ToDouble(d.dvPosition)) << " ," << kEol << "  color "
        << FormatPovVector(((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0) << kEol;
    if (l->LightType == ltSpot) {
      out << "  spotlight" << kEol << "  radius " << FormatPovNumber(Degrees(d.dvTheta)) << kEol << "  falloff "
          << FormatPovNumber(Degrees(d.dvPhi)) << kEol << "  tightness 7" << kEol << "  point_at "
          << FormatPovVector(double(d.dvPosition.x) + d.dvDirection.x, double(d.dvPosition.y) + d.dvDirection.y,
                             double(d.dvPosition.z) + d.dvDirection.z)
          << kEol;
    }
    out << "}" << kEol;
  }
  // Parents of a shown CSG child are written only inside that child's block.
  std::vector<char> marked(static_cast<size_t>(scene.ObjectCount()), 0);
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    const int p = scene.ParentOf(i);
    if (s && s->Afficher && s->Relation != relAucune && scene.SolidAt(p)) marked[static_cast<size_t>(p)] = 1;
  }
  out << "union {" << kEol;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s || !s->Afficher || marked[static_cast<size_t>(i)]) continue;
    // The solid's relation chain: its parent, the parent's own relation parent, and so on up to a
    // solid without a shown relation parent. A parent that is itself a CSG child stands for its
    // own combination, so a chain F <- G <- H becomes H's block around G's block around F. A
    // parent chain that loops (a damaged document) stops at the first solid seen twice.
    std::vector<const TSolidObject*> chain{s};
    std::vector<char> seen(static_cast<size_t>(scene.ObjectCount()), 0);
    seen[static_cast<size_t>(i)] = 1;
    for (int ci = i;;) {
      const TSolidObject* c = scene.SolidAt(ci);
      const int p = scene.ParentOf(ci);
      const TSolidObject* parent = scene.SolidAt(p);
      if (c->Relation == relAucune || !parent || !parent->Afficher || seen[static_cast<size_t>(p)]) break;
      seen[static_cast<size_t>(p)] = 1;
      chain.push_back(parent);
      ci = p;
    }
    for (size_t k = 0; k + 1 < chain.size(); ++k)
      out << (chain[k]->Relation == relSoustraction ? "difference {" : "intersection {") << kEol;
    writeSolid(*chain.back());
    for (size_t k = chain.size() - 1; k-- > 0;) {
      writeSolid(*chain[k]);
      out << "  }" << kEol;
    }
  }
  out << kEol << "scale " << FormatPovVector(view.Scale) << kEol << "rotate "
      << FormatPovVector(Degrees(view.Rot.x), Degrees(view.Rot.y), Degrees(view.Rot.z)) << kEol << "translate "
      << FormatPovVector(view.Pos) << kEol << "}" << kEol;
  std::error_code failure;
  if (!WriteOutputFile(path, out.str(), &failure)) {
    TResult failed = FileAccessFailure(path, failure);
    for (const std::string& notice : exported.Notices()) failed.AddNotice(notice);
    return failed;
  }
  return exported;
}

}  // namespace ixoral

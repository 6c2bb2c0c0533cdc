// Writes a scene as a POV-Ray scene description.
#include "document/PovExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <string_view>
#include <utility>

#include "document/SceneDocument.h"
#include "platform/LargePages.h"
#include "platform/NumberFormat.h"
#include "render/DisplayDevice.h"
#include "render/SceneRenderer.h"
#include "scene/GlyphOutline.h"
#include "scene/View.h"
#include "storage/OutputFile.h"
#include "tools/images/Image.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {
constexpr const char* kEol = "\r\n";
using TFileWrites = std::vector<std::pair<std::string, std::string>>;  // path, bytes
double Degrees(double radians) { return radians * 180 / std::numbers::pi; }

// The scene description as it is written: one string that becomes the file's bytes as it is, so
// a mesh of millions of corners is neither copied out of a stream nor held twice. Numbers are
// written as a stream writes them; a floating value must go through its formatter.
class TPovText {
 public:
  TPovText& operator<<(std::string_view text) {
    Bytes.append(text);
    return *this;
  }
  TPovText& operator<<(char c) {
    Bytes.push_back(c);
    return *this;
  }
  template <std::integral T>
  requires(!std::same_as<T, char> && !std::same_as<T, bool>) TPovText& operator<<(T v) {
    char buf[24];
    Bytes.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    return *this;
  }
  template <std::floating_point T>
  TPovText& operator<<(T) = delete;
  // Room for `more` bytes beyond what is written, growing at least twofold so that many solids
  // in a row do not copy the text again and again. Room never written to costs no memory.
  void Reserve(size_t more) {
    if (Bytes.capacity() - Bytes.size() >= more) return;
    Bytes.reserve(std::max(Bytes.size() + more, Bytes.capacity() * 2));
    // A mesh's text is hundreds of megabytes at most: in large pages, far fewer faults.
    AdviseLargePages(Bytes.data(), Bytes.capacity());
  }
  std::string Bytes;
};
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

namespace {
void WritePovTriangle(TPovText& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
  auto corner = [](const D3DVERTEX& v) {
    return "  <" + FormatPovNumber(v.x) + "," + FormatPovNumber(v.y) + "," + FormatPovNumber(v.z) + ">";
  };
  out << "  triangle {" << kEol << corner(a) << "," << kEol << corner(b) << "," << kEol << corner(c) << kEol << "  }"
      << kEol;
}
}  // namespace

void WritePovTriangle(std::ostream& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
  TPovText text;
  WritePovTriangle(text, a, b, c);
  out << text.Bytes;
}

namespace {

// What a finish says beyond the solid's own colour and shine: its ambient term, and the size of
// its highlight where it follows the views' power.
struct TFinishTerms {
  std::string Ambient = "0";
  std::optional<double> Roughness;
  std::optional<double> Diffuse;   // in place of the one the shine gives
  std::optional<double> Specular;  // likewise
  // The most light a corner's ambient term may carry: 1 for a colour, more for a picture, whose
  // highlight is carried as a larger ambient of it.
  double MostLight = 1;
  // Faces seen from inside let the light through, as the views draw no face from behind.
  bool HideInterior = false;
};

// The texture block of the solid: its colour or picture, and its finish.
void WritePovTexture(TPovText& out, const TSolidObject& s, const std::string& picture, const TFinishTerms& terms) {
  const D3DCOLOR c = s.Color;
  const double r = ((c >> 16) & 0xFF) / 255.0, g = ((c >> 8) & 0xFF) / 255.0, b = (c & 0xFF) / 255.0;
  const double t = 1 - ((c >> 24) & 0xFF) / 255.0;
  const double p = s.Specular;
  const double v = p > 0 ? 5 - p + 0.1 : 0;
  const double specularTerm = v == 0 ? 0 : (v < 4 ? 0.8 : 1.2);
  const double diffuse = v == 0 ? 0.6 : (v < 4 ? 0.7 : 1.5);
  out << "    texture { " << kEol;
  if (picture.empty()) {
    out << "      pigment { rgbt < " << FormatPovNumber(r) << ", " << FormatPovNumber(g) << ", " << FormatPovNumber(b)
        << ", " << FormatPovNumber(t) << "> }" << kEol;
  } else {
    out << "      uv_mapping pigment { image_map { png " << FormatPovString(picture) << " interpolate 2";
    if (t > 0) out << " transmit all " << FormatPovNumber(t);
    out << " } }" << kEol;
  }
  out << "      finish { " << kEol << "        ambient " << terms.Ambient << kEol << "        specular "
      << FormatPovNumber(terms.Specular.value_or(specularTerm)) << kEol << "        diffuse "
      << FormatPovNumber(terms.Diffuse.value_or(diffuse)) << kEol;
  if (terms.Roughness) out << "        roughness " << FormatPovNumber(*terms.Roughness) << kEol;
  out << "      }" << kEol << "    }" << kEol;
}

// The solid's placement, then its texture: its colour, or the picture `picture` (a PNG file
// beside the scene) laid on by the mesh's texture coordinates; then the block's end.
void WritePovPlacementAndTexture(TPovText& out, const TSolidObject& s, const Vec3d& translate,
                                 const std::string& picture, const TFinishTerms& terms = {}) {
  out << "  scale " << FormatPovVector(s.Redim) << kEol;
  out << FormatPovMatrix(s.RotationMatrix) << kEol;
  out << "  translate " << FormatPovVector(translate) << kEol;
  WritePovTexture(out, s, picture, terms);
  // Where the plane the views cut at opens a solid, its inside is not drawn.
  if (terms.HideInterior) out << "    interior_texture { pigment { rgbt 1 } }" << kEol;
  out << "}" << kEol;
}

// The solid as POV-Ray's own shape, with the finish terms given.
TResult WritePovPrimitive(TPovText& out, const TSolidObject& s, const TFinishTerms& terms) {
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
  // Of the solids written here, only POV-Ray's own shapes have a certain inside; the triangles of
  // the others face either way.
  TFinishTerms own = terms;
  own.HideInterior = terms.HideInterior && (s.ShapeType == stCube || s.ShapeType == stCylindre ||
                                            s.ShapeType == stTore || s.ShapeType == stSphere || s.ShapeType == stCone);
  WritePovPlacementAndTexture(out, s, translate, {}, own);
  return written;
}

}  // namespace

TResult WritePovSolid(std::ostream& out, const TSolidObject& s) {
  TPovText text;
  TResult written = WritePovPrimitive(text, s, {});
  out << text.Bytes;
  return written;
}

namespace {

// A coordinate of a mesh with the precision of the vertices themselves, "." as separator
// whatever the locale.
constexpr size_t kMeshNumberMax = 16;  // "-1.234567e-38" and room to spare
void AppendMeshNumber(std::string& to, float v) {
  char buf[32];
  to.append(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 7).ptr);
}

std::string MeshNumber(float v) {
  std::string s;
  AppendMeshNumber(s, v);
  return s;
}

void AppendMeshVector(std::string& to, float x, float y, float z) {
  to += '<';
  AppendMeshNumber(to, x);
  to += ',';
  AppendMeshNumber(to, y);
  to += ',';
  AppendMeshNumber(to, z);
  to += '>';
}

bool Finite(const D3DVERTEX& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.nx) && std::isfinite(v.ny) &&
         std::isfinite(v.nz) && std::isfinite(v.tu) && std::isfinite(v.tv);
}

// Calls `corner` with the corners of the triangles the views draw for the solid, three by three
// and always in the same order, so that each part of a mesh can walk them again rather than
// keep millions of them; a triangle with a corner that is not a finite number, or without area,
// is left out.
// The views draw the side of a triangle (a, b, c) whose corners turn clockwise on screen, as
// Direct3D does, taking every other triangle of a strip as (a, c, b) so that the whole strip turns
// one way. POV-Ray's outside is the side whose corners turn the other way: `povOutside` gives each
// triangle as (a, c, b) of the views' order, so the side the views draw is POV-Ray's outside.
// Otherwise the corners come as the solid gives them.
template <typename F>
void ForEachDrawnCorner(const TSolidObject& s, bool povOutside, F&& corner) {
  const auto add = [&](const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
    if (!Finite(a) || !Finite(b) || !Finite(c)) return;
    const Vec3d ab{b.x - a.x, b.y - a.y, b.z - a.z}, ac{c.x - a.x, c.y - a.y, c.z - a.z};
    const Vec3d n = Cross(ab, ac);
    if (n.x == 0 && n.y == 0 && n.z == 0) return;
    for (D3DVERTEX v : {a, povOutside ? c : b, povOutside ? b : c}) {
      // A corner without a normal takes its face's, so POV-Ray never meets a null one.
      if (v.nx == 0 && v.ny == 0 && v.nz == 0) {
        const double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        v.nx = float(n.x / len), v.ny = float(n.y / len), v.nz = float(n.z / len);
      }
      corner(std::as_const(v));
    }
  };
  for (const auto& c : s.Composantes) {
    const auto& v = c.Vertices;
    switch (c.PrimitiveType) {
      case D3DPT_TRIANGLELIST:
        for (size_t k = 0; k + 2 < v.size(); k += 3) add(v[k], v[k + 1], v[k + 2]);
        break;
      case D3DPT_TRIANGLESTRIP:
        for (size_t k = 2; k < v.size(); ++k)
          if (k % 2 == 0 || !povOutside)
            add(v[k - 2], v[k - 1], v[k]);
          else
            add(v[k - 2], v[k], v[k - 1]);
        break;
      case D3DPT_TRIANGLEFAN:
        for (size_t k = 1; k + 1 < v.size(); ++k) add(v[0], v[k], v[k + 1]);
        break;
      default:
        break;
    }
  }
}

// True when the views draw some face of the solid from both sides: the same three corners are
// given again turning the other way (every face of a 3D text, the walls, the circle's two discs).
// Such a face has no inside to hide, and POV-Ray would meet either of the two copies first.
bool DrawnOnBothSides(const TSolidObject& s) {
  if (s.ShapeType == stTexte3d) return true;  // each glyph face is given both ways
  // A triangle is known by its corners' positions, from the least one on, in their turn.
  const auto key = [](const std::array<const D3DVERTEX*, 3>& t) {
    std::array<std::array<uint32_t, 3>, 3> p;
    for (size_t i = 0; i < 3; ++i) {
      const float at[3] = {t[i]->x + 0.0f, t[i]->y + 0.0f, t[i]->z + 0.0f};  // -0 as 0
      std::memcpy(p[i].data(), at, sizeof at);
    }
    const size_t first = size_t(std::min_element(p.begin(), p.end()) - p.begin());
    uint64_t h = 0x9E3779B97F4A7C15u;
    for (size_t i = 0; i < 3; ++i)
      for (uint32_t w : p[(first + i) % 3]) h = (h ^ w) * 0x100000001B3u, h ^= h >> 29;
    return h;
  };
  std::vector<uint64_t> turned, other;
  std::array<D3DVERTEX, 3> t;
  size_t k = 0;
  // In one turn for all (a strip's triangles given as the views take them).
  ForEachDrawnCorner(s, true, [&](const D3DVERTEX& v) {
    t[k++] = v;
    if (k < 3) return;
    k = 0;
    turned.push_back(key({&t[0], &t[1], &t[2]}));
    other.push_back(key({&t[0], &t[2], &t[1]}));
  });
  std::sort(turned.begin(), turned.end());
  for (uint64_t h : other)
    if (std::binary_search(turned.begin(), turned.end(), h)) return true;
  return false;
}

// The most light a textured corner's ambient term carries: the views' ambient and highlight are
// each at most 1, and a highlight over a dark picture is carried as a larger ambient of that picture.
constexpr double kMostCornerLight = 8;

// The ambient light the views give a corner of a mesh (in the solid's own frame), or none.
using TCornerAmbient = std::function<std::optional<Vec3d>(const D3DVERTEX&)>;

// The solid as the views draw it: a mesh of its own vertices with their normals (smooth where
// the views are smooth) and, for a textured solid, their texture coordinates, in the same
// placement and texture block as a primitive, each corner with its ambient light when given. A
// solid without any triangle is written as the primitive it is.
void WritePovMeshSolid(TPovText& out, const TSolidObject& s, const std::string& picture, const TFinishTerms& terms,
                       const TCornerAmbient& cornerAmbient = {}) {
  size_t n = 0;
  ForEachDrawnCorner(s, false, [&](const D3DVERTEX&) { ++n; });
  if (n == 0) {
    (void)WritePovPrimitive(out, s, terms);
    return;
  }
  // A face the views draw from both sides keeps its inside; the others turn their drawn side out.
  TFinishTerms meshTerms = terms;
  meshTerms.HideInterior = terms.HideInterior && !DrawnOnBothSides(s);
  const bool povOutside = meshTerms.HideInterior;
  // The views light each corner with the ambient colour of the lights that reach it; POV-Ray
  // blends a triangle's three corner textures the same way. The levels are kept to 1/64 of each
  // channel, at most 256 of them; beyond, the solid keeps its one mean ambient.
  std::vector<uint16_t> level;
  std::vector<Vec3d> levels;
  if (cornerAmbient) {
    std::map<std::array<int, 3>, uint16_t> known;
    level.reserve(n);
    bool kept = true;
    ForEachDrawnCorner(s, povOutside, [&](const D3DVERTEX& v) {
      if (!kept) return;
      const std::optional<Vec3d> a = cornerAmbient(v);
      if (!a) {
        kept = false;
        return;
      }
      const auto step = [&](double x) { return int(std::lround(std::clamp(x, 0.0, terms.MostLight) * 64)); };
      const std::array<int, 3> key{step(a->x), step(a->y), step(a->z)};
      const auto [it, added] = known.emplace(key, uint16_t(levels.size()));
      if (added) levels.push_back({key[0] / 64.0, key[1] / 64.0, key[2] / 64.0});
      if (levels.size() > 256) {
        kept = false;
        return;
      }
      level.push_back(it->second);
    });
    if (level.size() != n) level.clear(), levels.clear();
  }
  // The corners' lines, at their longest: vertex and normal vectors, texture coordinates, and a
  // triangle's indices with its three texture levels. Written straight into the scene's text.
  constexpr size_t kLead = 7;  // ",\r\n    "
  constexpr size_t kVector = kLead + 3 * kMeshNumberMax + 4, kUv = kLead + 2 * kMeshNumberMax + 3;
  constexpr size_t kFace = kLead + 3 * 20 + 4 + 3 * 7;
  out.Reserve(n * (2 * kVector + (picture.empty() ? 0 : kUv) + kFace / 3 + 1) + (levels.size() + 1) * 1024);
  std::string& text = out.Bytes;
  out << "mesh2 {" << kEol << "  vertex_vectors { " << n;
  ForEachDrawnCorner(s, povOutside, [&](const D3DVERTEX& v) {
    text.append(",\r\n    ");
    AppendMeshVector(text, v.x, v.y, v.z);
  });
  out << kEol << "  }" << kEol << "  normal_vectors { " << n;
  ForEachDrawnCorner(s, povOutside, [&](const D3DVERTEX& v) {
    text.append(",\r\n    ");
    AppendMeshVector(text, v.nx, v.ny, v.nz);
  });
  out << kEol << "  }" << kEol;
  if (!picture.empty()) {
    // Direct3D counts v from the picture's top, POV-Ray from its bottom.
    out << "  uv_vectors { " << n;
    ForEachDrawnCorner(s, povOutside, [&](const D3DVERTEX& v) {
      text.append(",\r\n    <");
      AppendMeshNumber(text, v.tu);
      text += ',';
      AppendMeshNumber(text, 1 - v.tv);
      text += '>';
    });
    out << kEol << "  }" << kEol;
  }
  if (!level.empty()) {
    out << "  texture_list { " << levels.size() << kEol;
    for (const Vec3d& a : levels)
      WritePovTexture(out, s, picture, {"rgb " + FormatPovVector(a), terms.Roughness, terms.Diffuse, terms.Specular});
    out << "  }" << kEol;
  }
  out << "  face_indices { " << n / 3;
  for (size_t k = 0; k < n; k += 3) {
    out << ",\r\n    <" << k << ',' << k + 1 << ',' << k + 2 << '>';
    if (!level.empty()) out << ", " << level[k] << ", " << level[k + 1] << ", " << level[k + 2];
  }
  // Inside and outside, for the solid's part in a difference or an intersection.
  out << kEol << "  }" << kEol << "  inside_vector <0, 0, 1>" << kEol;
  WritePovPlacementAndTexture(out, s, s.Position, picture, meshTerms);
}

// Solids POV-Ray's own shapes would not draw as the views do: vertices changed by noise, torsion
// or hand edits, 3D text, whose glyphs the views build from the font at the text's own precision
// and placement, and mesh solids, which have no shape but their triangles.
bool DrawnAsMesh(const TSolidObject& s) {
  return s.Bruit || s.Torsion || !s.ModifiedVertices.empty() || s.ShapeType == stTexte3d || s.ShapeType == stMaillage;
}

// A light as the views light the scene: in the navigated frame of the view (the views move the
// lights with the scene when the view is turned, scaled or moved), its direction a unit vector.
struct TViewLight {
  D3DLIGHT7 Light;
  Vec3d Position, Direction;
};

std::vector<TViewLight> ViewLights(TScene& scene, const D3DMATRIX& navigation) {
  std::vector<TViewLight> lights;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TLight* l = scene.LightAt(i);
    if (!l || !l->Afficher || l->DeviceIndex < 1) continue;
    TViewLight v;
    if (!scene.Device().GetLight(l->DeviceIndex, v.Light)) continue;
    v.Position = ApplyMatrix(ToDouble(v.Light.dvPosition), navigation);
    v.Direction = ToDouble(ApplyToDirection(v.Light.dvDirection, navigation));
    const double len = Length(v.Direction);
    v.Direction = len > 0 && std::isfinite(len) ? v.Direction * (1 / len) : Vec3d{0, 0, 1};
    lights.push_back(v);
  }
  return lights;
}

// The share of a light that reaches `at`: its attenuation with distance and its spot cone, as the
// views compute them for every vertex.
double LightReach(const TViewLight& v, const Vec3d& at) {
  const D3DLIGHT7& l = v.Light;
  if (l.dltType == D3DLIGHT_DIRECTIONAL) return 1;
  const Vec3d d = v.Position - at;
  const double dist = Length(d);
  if (!(dist <= l.dvRange)) return 0;
  const double den = l.dvAttenuation0 + l.dvAttenuation1 * dist + l.dvAttenuation2 * dist * dist;
  double reach = den > 0 ? 1 / den : 1;
  if (l.dltType == D3DLIGHT_SPOT) {
    const Vec3d toward = dist > 0 ? d * (1 / dist) : Vec3d{0, 0, -1};
    const double rho = -Dot(toward, v.Direction);
    const double cosTheta = std::cos(l.dvTheta * 0.5), cosPhi = std::cos(l.dvPhi * 0.5);
    if (rho <= cosPhi) return 0;
    if (rho <= cosTheta) {
      const double t = (rho - cosPhi) / (cosTheta - cosPhi);
      reach *= l.dvFalloff == 1.0f ? t : std::pow(t, double(l.dvFalloff));
    }
  }
  return std::isfinite(reach) ? reach : 0;
}

// The views give every vertex the ambient colour of each light that reaches it, whichever way the
// face turns, so faces turned away from the lights are not black.
// The sum of the ambient colours of the lights that reach `at` (in the navigated frame).
Vec3d AmbientAt(const std::vector<TViewLight>& lights, const Vec3d& at) {
  Vec3d sum{0, 0, 0};
  for (const TViewLight& v : lights) {
    const double reach = LightReach(v, at);
    sum = sum + Vec3d{reach * v.Light.dcvAmbient.r, reach * v.Light.dcvAmbient.g, reach * v.Light.dcvAmbient.b};
  }
  return sum;
}

// Of each colour, the three channels each times the other's.
Vec3d Times(const Vec3d& a, const Vec3d& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

// The finish of a textured solid lit as the views light it, from its material. The views give a
// vertex ma · (sum of the lights' ambient) + md · (sum of their diffuse, by the angle) and, over
// the picture they modulate it with, ms · (sum of their specular, by the highlight), each light's
// part times its attenuation and spot. POV-Ray multiplies its ambient and diffuse by the picture,
// as the views modulate it. `Ambient` is what each light's ambient colour is multiplied by.
struct TViewFinish {
  Vec3d Ambient{1, 1, 1};    // times each light's ambient colour
  Vec3d Highlight{0, 0, 0};  // times the views' highlight
  TFinishTerms Terms;
};

// `meanTexel`: the mean colour of the solid's picture.
TViewFinish ViewFinishOf(const TSolidObject& s, const Vec3d& meanTexel) {
  const D3DMATERIAL7& m = s.Material;
  const Vec3d ma{m.ambient.r, m.ambient.g, m.ambient.b}, md{m.diffuse.r, m.diffuse.g, m.diffuse.b},
      ms{m.specular.r, m.specular.g, m.specular.b};
  const auto relative = [](const Vec3d& v, const Vec3d& to) {
    const auto ratio = [](double x, double p) { return p > 0 && std::isfinite(x) ? std::max(0.0, x) / p : 0.0; };
    return Vec3d{ratio(v.x, to.x), ratio(v.y, to.y), ratio(v.z, to.z)};
  };
  const auto finite = [](double x) { return std::isfinite(x) ? std::max(0.0, x) : 0.0; };
  TViewFinish f;
  f.Ambient = {finite(ma.x), finite(ma.y), finite(ma.z)};
  f.Terms.Diffuse = (finite(md.x) + finite(md.y) + finite(md.z)) / 3;
  // The views add the highlight over the picture, unmodulated; POV-Ray's ambient multiplies the
  // picture: over its mean colour, the highlight adds the same light on the whole.
  f.Highlight = relative(ms, meanTexel);
  f.Terms.Specular = 0;
  return f;
}

// What the views add at a corner of a solid, beyond its diffuse light: the ambient colour of each
// light that reaches it, whichever way the face turns, and the highlight. Both are in the
// navigated frame, times the material's colours relative to the pigment POV-Ray is given.
// The views light a corner with its normal as the solid's transform and the view's zoom leave it,
// not made unit (the generators' normals are not unit either). Their highlight comes out as
// though seen from the side opposite the camera: on a sphere lit from the left, a crescent on
// its far rim rather than a spot facing the camera, and none on a face turned to the camera.
// POV-Ray's own highlight cannot be turned that way, so the views' highlight is carried in the
// corner's light instead, and POV-Ray's is off.
class TCornerLight {
 public:
  TCornerLight(const std::vector<TViewLight>& lights, const TSolidObject& s, const D3DMATRIX& navigation,
               const Vec3d& eye, const Vec3d& ambient, const Vec3d& highlight)
      : Lights(lights),
        ToView(Multiply(WorldMatrix(s), navigation)),
        Eye(eye),
        Ambient(ambient),
        Highlight(highlight),
        Power(s.Material.power) {
    Shiny = Power > 0 && std::isfinite(Power) && (highlight.x > 0 || highlight.y > 0 || highlight.z > 0) &&
            Invert(ToView, Inverse);
  }

  Vec3d operator()(const D3DVERTEX& v) const {
    const Vec3d at = ApplyMatrix(Vec3d{v.x, v.y, v.z}, ToView);
    Vec3d sum = Times(AmbientAt(Lights, at), Ambient);
    if (!Shiny) return sum;
    // A normal goes through the inverse transpose: n'_j = sum_i n_i inverse[j][i].
    const Vec3d n{v.nx * Inverse._11 + v.ny * Inverse._12 + v.nz * Inverse._13,
                  v.nx * Inverse._21 + v.ny * Inverse._22 + v.nz * Inverse._23,
                  v.nx * Inverse._31 + v.ny * Inverse._32 + v.nz * Inverse._33};
    const double eyeLength = Length(at - Eye);
    if (!(eyeLength > 0)) return sum;
    const Vec3d away = (at - Eye) * (1 / eyeLength);
    Vec3d shine{0, 0, 0};
    for (const TViewLight& l : Lights) {
      const D3DCOLORVALUE& c = l.Light.dcvSpecular;
      if (c.r <= 0 && c.g <= 0 && c.b <= 0) continue;
      const double reach = LightReach(l, at);
      if (!(reach > 0)) continue;
      Vec3d toward = l.Light.dltType == D3DLIGHT_DIRECTIONAL ? l.Direction * -1.0 : l.Position - at;
      const double d = Length(toward);
      if (!(d > 0)) continue;
      toward = toward * (1 / d);
      if (!(Dot(n, toward) > 0)) continue;
      const Vec3d h = toward + away;
      const double hl = Length(h), nh = hl > 0 ? Dot(n, h) / hl : 0;
      if (!(nh > 0)) continue;
      const double f = reach * std::pow(nh, Power);
      shine = shine + Vec3d{f * c.r, f * c.g, f * c.b};
    }
    const auto unit = [](double x) { return std::isfinite(x) ? std::clamp(x, 0.0, 1.0) : 0.0; };
    return sum + Times(Vec3d{unit(shine.x), unit(shine.y), unit(shine.z)}, Highlight);
  }

 private:
  const std::vector<TViewLight>& Lights;
  D3DMATRIX ToView, Inverse;
  Vec3d Eye, Ambient, Highlight;
  double Power;
  bool Shiny = false;
};

// The ambient term of a POV-Ray shape: one colour per solid, the mean of the views' corner light
// over its vertices (a spread sample of at most 256 of them).
std::string AmbientOf(const std::vector<TViewLight>& lights, const TSolidObject& s, const D3DMATRIX& navigation,
                      const TCornerLight& corner, double most) {
  if (lights.empty()) return "0";
  const size_t count = s.VertexCount(), step = std::max<size_t>(1, count / 256);
  Vec3d sum{0, 0, 0};
  size_t taken = 0, k = 0;
  for (const TComposante& c : s.Composantes)
    for (const D3DVERTEX& v : c.Vertices)
      if (k++ % step == 0) sum = sum + corner(v), ++taken;
  if (taken == 0) sum = AmbientAt(lights, ApplyMatrix(s.Position, navigation)), taken = 1;
  const auto clamp = [&](double x) { return std::isfinite(x) ? std::clamp(x / double(taken), 0.0, most) : 0.0; };
  return "rgb " + FormatPovVector(clamp(sum.x), clamp(sum.y), clamp(sum.z));
}

// A light as the views light: its diffuse colour, no shadow (the views draw none), the spot's
// cone by its half angles, and a fade that follows the views' attenuation 1 / (a0 + a1 d + a2 d²).
// POV-Ray fades by 2 / (1 + (d / f)^p): with p the power of the larger term, f^p = a0 / a and the
// colour scaled by 1 / (2 a0) the two agree; without a constant term, f is small and the colour
// scaled by 1 / (2 a f^p), which agrees beyond a few hundredths of a unit.
void WriteViewLight(TPovText& out, const TViewLight& v, const Vec3d& sceneCentre) {
  const D3DLIGHT7& l = v.Light;
  double scale = 1, fadeDistance = 0;
  int fadePower = 0;
  const double a0 = std::max(0.0, double(l.dvAttenuation0)), a1 = std::max(0.0, double(l.dvAttenuation1)),
               a2 = std::max(0.0, double(l.dvAttenuation2));
  if (l.dltType != D3DLIGHT_DIRECTIONAL) {
    if (a1 == 0 && a2 == 0) {
      if (a0 > 0) scale = 1 / a0;
    } else {
      // Both terms: the one that dominates at the scene's distance decides the power; the other
      // is folded into it there.
      const double d0 = std::max(Length(v.Position - sceneCentre), 1e-6);
      fadePower = a2 * d0 * d0 > a1 * d0 ? 2 : 1;
      const double a = fadePower == 2 ? a2 + a1 / d0 : a1 + a2 * d0;
      constexpr double kSmallFade = 0.01;
      const double fp = a0 > 0 ? a0 / a : std::pow(kSmallFade, fadePower);
      fadeDistance = std::pow(fp, 1.0 / fadePower);
      scale = 1 / (2 * a * fp);
    }
  }
  const auto channel = [&](float c) { return std::isfinite(c * scale) ? std::max(0.0, c * scale) : 0.0; };
  out << "light_source { " << FormatPovVector(v.Position) << " ," << kEol << "  color rgb "
      << FormatPovVector(channel(l.dcvDiffuse.r), channel(l.dcvDiffuse.g), channel(l.dcvDiffuse.b)) << kEol;
  const Vec3d target = v.Position + v.Direction;
  if (l.dltType == D3DLIGHT_SPOT) {
    out << "  spotlight" << kEol << "  radius " << FormatPovNumber(Degrees(l.dvTheta * 0.5)) << kEol << "  falloff "
        << FormatPovNumber(Degrees(l.dvPhi * 0.5)) << kEol << "  tightness 0" << kEol << "  point_at "
        << FormatPovVector(target) << kEol;
  } else if (l.dltType == D3DLIGHT_DIRECTIONAL) {
    out << "  parallel" << kEol << "  point_at " << FormatPovVector(target) << kEol;
  }
  if (fadePower > 0)
    out << "  fade_distance " << MeshNumber(float(fadeDistance)) << kEol << "  fade_power " << fadePower << kEol;
  out << "  shadowless" << kEol << "}" << kEol;
}

bool HasNonAsciiText(const TScene& scene) {
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (const TSolidObject* s = scene.SolidAt(i); s && s->Afficher && s->ShapeType == stTexte3d)
      for (unsigned char ch : s->GetTextParam(1))
        if (ch >= 0x80) return true;
  return false;
}

}  // namespace

TResult ExportPovScene(TScene& scene, int viewIndex, const std::string& path, bool overwrite,
                       const TPovExportOptions& options) {
  std::error_code ec;
  if (fs::exists(path, ec) && !overwrite) return ReplaceRefused(path);
  const TVue& view = scene.Views[static_cast<size_t>(std::clamp(viewIndex, 0, 3))];
  TPovText out;
  TResult exported;
  // The textures, as the views draw them (the top-left power-of-two part of the picture), in PNG
  // files beside the scene: "<scene>-texture-<n>.png", one per picture.
  std::map<std::string, std::string> pictureNames;  // texture file -> picture name, "" if unreadable
  std::map<std::string, Vec3d> meanTexels;          // picture name -> its mean colour
  TFileWrites pictures;
  const auto pictureOf = [&](const TSolidObject& s) -> std::string {
    if (options.AsWritten || !s.Texturer || s.TextureFile.empty()) return {};
    if (auto known = pictureNames.find(s.TextureFile); known != pictureNames.end()) return known->second;
    std::string& name = pictureNames[s.TextureFile];
    TImage image, drawn;
    std::string message, bytes;
    if (LoadImageFile(s.TextureFile, image, message)) {
      drawn.Width = TextureSide(image.Width);
      drawn.Height = TextureSide(image.Height);
      drawn.Pixels.resize(size_t(drawn.Width) * drawn.Height);
      for (int y = 0; y < drawn.Height; ++y)
        for (int x = 0; x < drawn.Width; ++x)
          drawn.Pixels[size_t(y) * drawn.Width + x] =
              0xFF000000u | image.PixelAt(std::min(x, image.Width - 1), std::min(y, image.Height - 1));
      if (EncodePng(drawn, bytes)) {
        Vec3d mean{0, 0, 0};
        for (uint32_t p : drawn.Pixels)
          mean = mean + Vec3d{double((p >> 16) & 0xFF), double((p >> 8) & 0xFF), double(p & 0xFF)};
        mean = mean * (1 / (255.0 * double(std::max<size_t>(1, drawn.Pixels.size()))));
        name = fs::path(path).stem().string() + "-texture-" + std::to_string(pictures.size() + 1) + ".png";
        pictures.push_back({(fs::path(path).parent_path() / name).string(), std::move(bytes)});
        meanTexels[name] = mean;
        return name;
      }
    }
    exported.AddNotice(kMsgPovTextureLeftOut + s.TextureFile);
    return {};
  };
  // Unless written as first described, the lights are those the views light with.
  const D3DMATRIX navigation = Multiply(Multiply(view.ScaleMatrix, view.RotationMatrix), view.TranslationMatrix);
  std::vector<TViewLight> lights;
  Vec3d sceneCentre{0, 0, 0};
  if (!options.AsWritten) {
    lights = ViewLights(scene, navigation);
    int shown = 0;
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (const TSolidObject* s = scene.SolidAt(i); s && s->Afficher && IsFinite(s->Position))
        sceneCentre = sceneCentre + ApplyMatrix(s->Position, navigation), ++shown;
    if (shown > 0) sceneCentre = sceneCentre * (1.0 / shown);
  }
  const D3DMATRIX look = LookToMatrix(view.Camera);
  const Vec3d ahead{look._13, look._23, look._33}, up{look._12, look._22, look._32};
  const bool viewCamera = !options.AsWritten && !(ahead.x == 0 && ahead.y == 0 && ahead.z == 0);
  // A solid of triangles the views draw from one side only, reaching the plane the views cut at:
  // the plane opens it, and the views show what lies behind through the opening, never its
  // inside. As a union of triangles POV-Ray would show the inside; as a mesh with its drawn side
  // out, it hides it. Elsewhere such a solid keeps its union of triangles.
  const auto openedByNearPlane = [&](const TSolidObject& solid) {
    if (!viewCamera || solid.ShapeType == stCube || solid.ShapeType == stCylindre || solid.ShapeType == stTore ||
        solid.ShapeType == stSphere || solid.ShapeType == stCone || solid.ShapeType == stTexte3d)
      return false;
    const D3DMATRIX toView = Multiply(WorldMatrix(solid), navigation);
    const double nearest = Dot(ahead, view.Camera.Position + ahead) + 1;
    for (const TComposante& c : solid.Composantes)
      for (const D3DVERTEX& v : c.Vertices)
        if (Dot(ahead, ApplyMatrix(Vec3d{v.x, v.y, v.z}, toView)) <= nearest) return !DrawnOnBothSides(solid);
    return false;
  };
  const auto writeSolid = [&](const TSolidObject& solid) {
    if (!options.AsWritten) {
      const std::string picture = pictureOf(solid);
      // A picture is lit as the views light it: no diffuse colour in the material, each corner's
      // ambient and highlight carried in its own light. A colour keeps POV-Ray's own shading (its
      // diffuse light and highlight), which is what a plain primitive has always been written with.
      TFinishTerms terms;
      terms.Diffuse = 1.0;  // the views' diffuse light is the colour's whole
      Vec3d ambientTimes{1, 1, 1}, highlightTimes{0, 0, 0};
      if (!picture.empty()) {
        const TViewFinish finish = ViewFinishOf(solid, meanTexels[picture]);
        terms = finish.Terms;
        terms.MostLight = kMostCornerLight;
        ambientTimes = finish.Ambient;
        highlightTimes = finish.Highlight;
      } else if (solid.Specular > 0) {
        // The views' highlight: Blinn's (n.h)^power, which POV-Ray's specular gives with a
        // roughness of 1 / power.
        terms.Roughness = std::min(1.0, 1.0 / solid.Specular);
      }
      const TCornerLight corner(lights, solid, navigation, view.Camera.Position, ambientTimes, highlightTimes);
      terms.Ambient = AmbientOf(lights, solid, navigation, corner, terms.MostLight);
      if (!picture.empty() || DrawnAsMesh(solid) || openedByNearPlane(solid)) {
        TCornerAmbient perCorner;
        if (!lights.empty())
          perCorner = [&corner](const D3DVERTEX& v) -> std::optional<Vec3d> {
            const Vec3d a = corner(v);
            return IsFinite(a) ? std::optional<Vec3d>(a) : std::nullopt;
          };
        // Seen from behind, a face of the mesh is not drawn (the views cull it): where the plane
        // the views cut at opens the solid, or where a surface is open, what lies behind shows.
        terms.HideInterior = true;
        WritePovMeshSolid(out, solid, picture, terms, perCorner);
        return;
      }
      terms.HideInterior = true;
      const TResult written = WritePovPrimitive(out, solid, terms);
      for (const std::string& notice : written.Notices()) exported.AddNotice(notice);
      return;
    }
    const TResult written = WritePovPrimitive(out, solid, {});
    for (const std::string& notice : written.Notices()) exported.AddNotice(notice);
  };
  // POV-Ray 3.7 warns about scenes that name neither their language version nor their gamma. A
  // text beyond ASCII is read as the UTF-8 it is. The views light display colours as they are:
  // a working gamma of 2.2 has POV-Ray do the same, where 1.0 would light them as linear values
  // and brighten every half-lit face on output.
  const bool utf8 = !options.AsWritten && HasNonAsciiText(scene);
  out << "#version 3.7;" << kEol << "global_settings { assumed_gamma " << (options.AsWritten ? "1.0" : "2.2")
      << (utf8 ? " charset utf8" : "") << " }" << kEol;
  out << "#include \"colors.inc\"" << kEol << "#include \"textures.inc\"" << kEol;
  if (!viewCamera) {
    out << "camera {" << kEol << "location " << FormatPovVector(view.Camera.Position) << kEol << "look_at "
        << FormatPovVector(ToDouble(view.Camera.Direction)) << kEol << "}" << kEol;
  } else {
    // The camera the views draw with: the centre of projection one unit ahead of the camera's
    // position, a field whose half-width and half-height are both half the distance (the
    // picture's proportions stretch it as they stretch the views), and the views' up.
    const Vec3d eye = view.Camera.Position + ahead;
    out << "camera {" << kEol << "location " << FormatPovVector(eye) << kEol << "right x" << kEol << "up y" << kEol
        << "direction z" << kEol << "sky " << FormatPovVector(up) << kEol << "look_at " << FormatPovVector(eye + ahead)
        << kEol << "}" << kEol;
  }
  if (!options.AsWritten && (options.Background & 0xFFFFFFu) != 0)  // POV-Ray's own background is black
    out << "background { color rgb "
        << FormatPovVector(((options.Background >> 16) & 0xFF) / 255.0, ((options.Background >> 8) & 0xFF) / 255.0,
                           (options.Background & 0xFF) / 255.0)
        << " }" << kEol;
  for (const TViewLight& v : lights) WriteViewLight(out, v, sceneCentre);
  for (int i = 0; i < scene.ObjectCount() && options.AsWritten; ++i) {
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
      << FormatPovVector(view.Pos) << kEol;
  if (viewCamera) {
    // The views draw nothing nearer than one unit ahead of the centre of projection: what comes
    // closer is cut away at that plane (written after the placement, so in the camera's frame).
    const Vec3d eye = view.Camera.Position + ahead;
    out << "clipped_by { plane { " << FormatPovVector(ahead * -1.0) << ", " << MeshNumber(float(-(Dot(ahead, eye) + 1)))
        << " } }" << kEol;
  }
  out << "}" << kEol;
  // The pictures first, the scene that names them last.
  pictures.push_back({path, std::move(out.Bytes)});
  for (const auto& [file, bytes] : pictures) {
    std::error_code failure;
    if (!WriteOutputFile(file, bytes, &failure)) {
      TResult failed = FileAccessFailure(file, failure);
      for (const std::string& notice : exported.Notices()) failed.AddNotice(notice);
      return failed;
    }
  }
  return exported;
}

}  // namespace ixoral

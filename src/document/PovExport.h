// POV-Ray scene export: a camera from one view, the lights that are on, and every visible solid
// (native primitives where POV-Ray has them, triangles otherwise, meshes for deformed and
// textured solids) in one union carrying the view's navigation transform; CSG children are
// written with their parent.
#pragma once

#include <ostream>
#include <string>

#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kMsgFontLookupImpossible =
    "Pas fait pour win 95 : recuperer le nom du fichier de la fonte dans la base de registre";
inline constexpr const char* kMsgFontFileNotFound = "Impossible de récupérer le fichier associé à cette police";

// Seven significant digits, three decimals, "." as separator.
std::string FormatPovNumber(double v);
std::string FormatPovVector(double x, double y, double z);
std::string FormatPovVector(const Vec3d& v);
std::string FormatPovMatrix(const D3DMATRIX& m);
// A text as a POV-Ray string literal, quotes included, escaped so nothing can end it early.
std::string FormatPovString(const std::string& text);

// The TrueType file of a font family (the font the text generator uses for it); fails with
// kMsgFontLookupImpossible or kMsgFontFileNotFound when there is none.
TExpected<std::string> FindFontFile(const std::string& fontName);

void WritePovTriangle(std::ostream& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c);
// Writes the solid; a 3D text whose font file is not found is written with an empty font name,
// the lookup's messages carried as notices (the window shows them as errors).
TResult WritePovSolid(std::ostream& out, const TSolidObject& solid);
inline constexpr const char* kMsgPovTextureLeftOut = "Cette texture ne peut être lue, l'objet est rendu sans elle : ";

struct TPovExportOptions {
  // Every solid from its shape alone, as the scene description was first written: no
  // deformation, no texture, the text's bytes as they are.
  bool AsWritten = false;
  // The views' background colour, written unless black (POV-Ray's own) or written as first
  // described.
  D3DCOLOR Background = D3DRGB(0, 0, 0);
};

// Writes the scene file; an existing file is replaced only when `overwrite` is set (ReplaceRefused
// otherwise). Unless written as it first was, a solid whose vertices were changed (noise,
// torsion, hand edits), a 3D text, and a textured solid are written as meshes of what the views draw,
// its texture as a PNG picture beside the scene ("<scene>-texture-<n>.png", replaced with it); a
// picture that cannot be read is named in a notice and the solid written without it. A file that
// cannot be written fails with kMsgFileAccess and its path. The solids' notices come with the
// result, whatever it is.
TResult ExportPovScene(TScene& scene, int viewIndex, const std::string& path, bool overwrite,
                       const TPovExportOptions& options = {});

}  // namespace ixoral

// POV-Ray scene export: a camera from one view, the lights that are on, and every visible solid
// (native primitives where POV-Ray has them, triangles otherwise) in one union carrying the
// view's navigation transform; CSG children are written with their parent.
#pragma once

#include <ostream>
#include <string>

#include "platform/Prompt.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kMsgFontLookupImpossible =
    "Pas fait pour win 95 : recuperer le nom du fichier de la fonte dans la base de registre";
inline constexpr const char* kMsgFontFileNotFound =
    "Impossible de récupérer le fichier associé à cette police";

// Seven significant digits, three decimals, "." as separator.
std::string FormatPovNumber(double v);
std::string FormatPovVector(double x, double y, double z);
std::string FormatPovVector(const Vec3d& v);
std::string FormatPovMatrix(const D3DMATRIX& m);
// A text as a POV-Ray string literal, quotes included, escaped so nothing can end it early.
std::string FormatPovString(const std::string& text);

// The TrueType file of a font family (the font the text generator uses for it); empty, after the
// message, when there is none.
std::string FindFontFile(const std::string& fontName, IPrompt* prompt);

void WritePovTriangle(std::ostream& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c);
void WritePovSolid(std::ostream& out, const TSolidObject& solid, IPrompt* prompt);
// Asks before replacing a file; returns whether the file was written.
bool ExportPovScene(TScene& scene, int viewIndex, const std::string& path, IPrompt* prompt);

}  // namespace ixoral

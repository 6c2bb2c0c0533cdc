// The property inspector without a window: which fields an object shows (keys, labels, kinds,
// ranges, list items), their current values as the user sees them, and applying a set of edited
// fields to the object as one change of the scene: ranges checked in single precision, whole
// values rounded halves to even, the mesh regenerated from its parameters with the stored noise
// and then the stored torsion applied again, and the observers told once.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scene/Scene.h"

namespace ixoral {

// Labels of the inspector's rows.
inline constexpr const char* kLblAfficher = "Rendu dans la scène";
inline constexpr const char* kLblPosition = "Position";
inline constexpr const char* kLblPivotStyle = "Pivot Ref";
inline constexpr const char* kLblVectDir = "Vecteur Direction (z)";
inline constexpr const char* kLblVectHaut = "Vecteur Haut (y)";
inline constexpr const char* kLblRedim = "Redim";
inline constexpr const char* kLblColor = "Couleur";
inline constexpr const char* kLblTexturer = "Texturé";
inline constexpr const char* kLblBruit = "Bruit";
inline constexpr const char* kLblTorsion = "Torsion";
inline constexpr const char* kLblRelation = "Relation Parent";
inline constexpr const char* kLblShowRelation = "Afficher Relation";
inline constexpr const char* kLblSpecular = "Specular (0-5)";
inline constexpr const char* kLblBlend = "Transparence (%)";
inline constexpr const char* kLblLightDirection = "Direction";
inline constexpr const char* kLblLightSpecular = "Specular";
inline constexpr const char* kLblLightType = "Type";
inline constexpr const char* kLblEclaire = "Angle Eclairé";
inline constexpr const char* kLblOmbre = "Angle Ombré";
inline constexpr const char* kLblTours = "Tours";
inline constexpr const char* kLblOndulations = "Ondulations";
inline constexpr const char* kLblValider = "valider";
inline constexpr const char* kLblComponentX = "X :";
inline constexpr const char* kLblComponentY = "Y :";
inline constexpr const char* kLblComponentZ = "Z :";

// The largest length a field accepts, and the range of vector components.
inline constexpr double kMaxLength = 4.2e7;

enum class TPropertyKind {
  Check,   // check box, applied when clicked
  Number,  // numeric field, applied when left or on Enter
  Vector,  // three numeric fields key + "x", "y", "z"
  List,    // drop-down of fixed items, applied when chosen
  Colour,  // colour swatch, applied when a colour is chosen
  Text,    // free text field, applied when left or on Enter
};

// One row of the inspector.
struct TPropertyField {
  std::string Key;
  std::string Label;
  TPropertyKind Kind = TPropertyKind::Number;
  double Min = -kMaxLength, Max = kMaxLength;  // numbers and vector components, bounds included
  bool Whole = false;                          // rounded to the nearest integer, halves to even
  std::vector<std::string> Items;              // lists
  std::string ToolButton;                      // the "..." button beside a check box, if any
  bool ValidateButton = false;                 // vectors applied only by their "valider" button
};

// The rows of an object, top to bottom, under its title.
struct TPropertyLayout {
  int Object = -1;
  std::string Title;
  bool Light = false;
  uint8_t ShapeType = 0;
  std::vector<TPropertyField> Fields;
  const TPropertyField* Find(const std::string& key) const;
};

// What one control shows. Vector components are listed under key + "x", "y", "z".
struct TPropertyValue {
  std::string Text;  // numbers in the display format, texts, the chosen list item
  int Choice = -1;   // lists: the chosen item, -1 for none
  bool Checked = false;
  D3DCOLOR Colour = 0;  // the swatch, opaque
  bool Visible = true;
  bool Enabled = true;
  std::string Label;  // the row's label when it depends on the values ("t"), else empty
};
using TPropertyValues = std::map<std::string, TPropertyValue>;

// One edited control, as the window read it. Numbers and texts give Text, check boxes Checked,
// lists Choice (and Text, the item), the swatch Colour.
struct TPropertyEdit {
  std::string Text;
  int Choice = -1;
  bool Checked = false;
  D3DCOLOR Colour = 0;
};
using TPropertyEdits = std::map<std::string, TPropertyEdit>;

struct TPropertyApplyResult {
  bool Changed = false;      // the object changed and the observers were told
  bool Rebuilt = false;      // the mesh was generated again
  bool TextChanged = false;  // a 3D text's text changed
  bool Renamed = false;      // ... and the object took its new text as name
};

// The rows for object `index`; an empty layout (Object -1) when there is no such object.
TPropertyLayout DescribeProperties(const TScene& scene, int index);
// The values of every control of the layout.
TPropertyValues ReadProperties(const TScene& scene, int index);

// Applies the edited fields to object `index` as one change: unusable or out-of-range values are
// ignored and leave the stored value. Observers hear of the change once (ObjectRenamed when a 3D
// text took its new text as name, else ObjectChanged), then a redraw is asked for.
TPropertyApplyResult ApplyProperties(TScene& scene, int index, const TPropertyEdits& edits);

// The "valider" button of "vectdir" (a solid's or a light's direction) or "vecthaut" (a solid's
// up vector): the three texts must all be numbers in range, and the direction must not be zero
// (nor the up vector zero or along the direction). False, and nothing changed, otherwise.
bool ValidateVector(TScene& scene, int index, const std::string& key, const std::array<std::string, 3>& texts);

// The families the "font" list offers, read once.
const std::vector<std::string>& PropertyFontFamilies();

// A field's value as apply uses it: a number (IsNumberEntry, then read), rounded to single
// precision, within [min, max]; whole values rounded to the nearest integer, halves to even.
std::optional<double> ReadFieldNumber(const std::string& text, double min, double max, bool whole);

// Transparency shown for an alpha byte, and the alpha byte of a transparency (0..100).
double TransparencyOfAlpha(uint8_t alpha);
uint8_t AlphaOfTransparency(double percent);
// The inspector's specular value for a solid's specular power, and back.
double SpecularShown(float power);
float SpecularPower(double shown);

}  // namespace ixoral

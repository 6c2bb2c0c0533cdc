// What the text editor, the parametric curve editor and the light editor do, without any window
// toolkit: each builds its object in a preview scene of its own from the dialog's fields, and
// "&OK" copies it into the main scene as one step of the history. The dialogs only read their
// fields into these calls and show the messages they answer.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "scene/Scene.h"
#include "scene/Text3D.h"

namespace ixoral {

class TModeller;

// ---------------------------------------------------------------- text editor

inline constexpr const char* kMsgPasDeTexte = "Pas de Texte";
inline constexpr const char* kMsgFontUnreadable = "Impossible de lire la police ";
inline constexpr const char* kPreviewTextName = "char";
inline constexpr double kEditorTextDepth = 0.2;
inline constexpr double kEditorTextScale = 1.0;
// "Basse", "Moyenne", "Haute": precisions 1, 2, 3.
inline constexpr int kTextPrecisionCount = 3;

// The measures of the chosen font the text generator takes: the mean character width (c), the
// tallest character (h) and the lowest point (a), over the character codes 0 .. 255.
struct TEditorFontMetrics {
  int32_t MeanWidth = 0;
  int32_t Height = 0;
  int32_t BaseLine = 32767;
  int Characters = 0;  // characters with an outline
};
TEditorFontMetrics MeasureEditorFont(TTTFToVectorConverter& converter);

class TTextEditor {
 public:
  explicit TTextEditor(TScene& preview);

  // A new converter for the font at `precision` (1 .. 3), measured again. False, with the
  // message to show in `message`, when no readable font answers to the name.
  bool SetFont(const std::string& family, int precision, std::string* message = nullptr);
  void SetPrecision(int precision);
  const TEditorFontMetrics& Metrics() const { return FMetrics; }
  TTTFToVectorConverter& Converter() { return *FConverter; }

  // "Appliquer": builds the text in the preview under "char", replacing the one built before.
  // Answers the message to show ("Pas de Texte"), empty when the text was built.
  std::string Apply(const std::string& text, bool fill, D3DCOLOR colour);
  bool Built() const { return FBuilt; }
  const std::string& BuiltText() const { return FBuiltText; }
  // "&OK": the text built last joins the main scene, named after its text made unique with "i",
  // as one step. Answers its index there, -1 when nothing was built.
  int Confirm(TModeller& modeller);

 private:
  TScene& FPreview;
  std::unique_ptr<TTTFToVectorConverter> FConverter;
  TEditorFontMetrics FMetrics;
  bool FAttempted = false;  // a build was asked for: the next one replaces the preview's last object
  bool FBuilt = false;
  std::string FBuiltText;
};

// ---------------------------------------------------------------- parametric curve editor

inline constexpr const char* kMsgBornesInvalides = "Bornes invalides";
inline constexpr const char* kMsgEquationX = "Equation X(t) :";
inline constexpr const char* kMsgEquationY = "Equation Y(t) :";
inline constexpr const char* kMsgEquationZ = "Equation Z(t) :";
inline constexpr const char* kPreviewCurveName = "Courbe paramétrique";
inline constexpr const char* kCurveObjectName = "Courbe Paramétrique";
inline constexpr const char* kCurveFromDefault = "0";
inline constexpr const char* kCurveToDefault = "6,2831853071795864";
inline constexpr float kCurveSpecularPower = 3.0f;
// A bound beyond this is refused like one that is no number: the curve samples t between them
// and a larger span only gives points the tube cannot hold.
inline constexpr double kMaxCurveBound = 1e15;

// A bound as typed: "." read as ",", a finite number within ±kMaxCurveBound.
std::optional<double> ReadCurveBound(const std::string& text);

class TCurveEditor {
 public:
  explicit TCurveEditor(TScene& preview) : FPreview(preview) {}

  // "Appliquer": checks the bounds and the three equations and, when all are right, builds the
  // curve in the preview in place of the previous one. Answers the message to show, empty when
  // the curve was built; on a message the previous curve stays.
  std::string Apply(const std::string& x, const std::string& y, const std::string& z, const std::string& from,
                    const std::string& to);
  bool Built() const { return FBuilt; }
  // "&OK": the curve joins the main scene as "Courbe Paramétrique" made unique, white with the
  // specular power 3, as one step. Its index there, -1 when nothing was built.
  int Confirm(TModeller& modeller);

 private:
  TScene& FPreview;
  bool FBuilt = false;
};

// ---------------------------------------------------------------- light editor

inline constexpr const char* kLightBaseName = "Lumière";
// The outer cone shown after a drag stays this much wider than the lit cone (radians).
inline constexpr double kOuterConeMargin = 0.08;

// The light record as the dialog opens: a blue-white spot at (-1, 0, -1) aimed along
// (0.7, 0, 0.7), lit cone 50°, outer cone 55°.
D3DLIGHT7 DefaultLightRecord();

// The fields of the dialog, as numbers.
struct TLightFields {
  bool Spot = true;  // "Spot"; false: "Ambiante"
  D3DCOLOR Colour = 0xFFFFFFFF;
  Vec3d Centre{-1, 0, -1};
  Vec3d Direction{0.7, 0, 0.7};
  double LitAngle = 50;    // degrees
  double OuterAngle = 55;  // degrees
};

// The fields shown for a light record (colour from its specular colour).
TLightFields FieldsOfRecord(const D3DLIGHT7& record);

class TLightEditor {
 public:
  // Reserves the light number main.LightCount + 1 and creates the light in the preview (which
  // holds a copy of the main scene's objects and lights) as "Lumière" + n, selected.
  TLightEditor(TScene& main, TScene& preview);

  int Number() const { return FNumber; }
  int PreviewIndex() const { return FIndex; }
  TLight* Light() const { return FPreview.LightAt(FIndex); }
  const D3DLIGHT7& Record() const { return FRecord; }

  // The kind, colour, centre, direction and angles of the fields, on the light and its record.
  void Apply(const TLightFields& fields);
  // The fields after the mouse moved, turned or resized the light in the preview: its centre and
  // direction, and the angles widened or narrowed by its x scale.
  TLightFields FieldsAfterDrag(const TLightFields& fields) const;

  // "&OK": a copy of the light joins the main scene under the reserved number, as one step.
  // Answers its index there.
  int Confirm(TModeller& modeller);
  // "&Annuler": the preview's light is switched off; the main scene is untouched.
  void Cancel();

 private:
  TScene& FPreview;
  D3DLIGHT7 FRecord;
  int FNumber = 0;
  int FIndex = -1;
};

}  // namespace ixoral

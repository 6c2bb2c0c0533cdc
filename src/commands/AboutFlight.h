// The about box's flight: the time flown, the camera of view 0 following the flight path at that
// time, and the solids behind the camera left out of the drawing.
#pragma once

#include <string>

#include "platform/Prompt.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kAboutSceneFile = "mirlo.dat";

class TAboutFlight {
 public:
  explicit TAboutFlight(TScene& scene) : FScene(scene) {}

  // Reads the flight's scene (nothing when it is missing or cannot be read: the flight goes on
  // over an empty scene), drops the current object and puts the camera at the start.
  bool LoadScene(const std::string& path, IPrompt& prompt);

  // Time flown, in milliseconds.
  double Elapsed() const { return FElapsed; }
  // Adds `ms` of flight.
  void Advance(double ms) { FElapsed += ms; }
  // The "*" key: the time flown doubles.
  void DoubleTime() { FElapsed *= 2; }

  // The flight's parameter for the time flown: round(30 x t / 100).
  double PathTime() const;
  // View 0's camera for the time flown, and each solid shown only when its bounding box reaches
  // past the plane two units in front of the camera.
  void Apply();

 private:
  TScene& FScene;
  double FElapsed = 0;
};

// Whether some corner of the box (lo, hi), placed by `solid`'s matrices, lies strictly in front of
// the plane through camera + 2 d with normal d.
bool BoxInFront(const TSolidObject& solid, const Vec3d& camera, const Vec3d& d);

}  // namespace ixoral

// Rendering a view with POV-Ray from inside the modeller: the view is exported as the POV-Ray
// export writes it into a private temporary folder, `povray` runs there as a separate process at
// one of the export resolutions, its output is read as a progress fraction and, on failure, as a
// French message naming the scene line POV-Ray complains about. The job never waits: the window
// polls it. Cancelling ends the process at once; the temporary folder always goes with the job,
// and, should the modeller be killed, POV-Ray goes with it and the next start removes the folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Prompt.h"
#include "platform/RunFolder.h"
#include "scene/Scene.h"
#include "tools/images/Image.h"

namespace ixoral {

inline constexpr const char* kMsgPovRayMissing =
    "POV-Ray n'est pas installé : installez le paquet « povray » (apt-get install povray) pour "
    "faire un rendu";
inline constexpr const char* kMsgPovRayStartFailed = "Impossible de lancer POV-Ray : ";
inline constexpr const char* kMsgPovRayLineError = "Erreur de POV-Ray à la ligne ";  // + N + " : " + text
inline constexpr const char* kMsgPovRayError = "Erreur de POV-Ray : ";
inline constexpr const char* kMsgPovRayFailed = "Le rendu POV-Ray a échoué (code de sortie ";       // + N + ")"
inline constexpr const char* kMsgPovRayKilled = "POV-Ray s'est arrêté en cours de rendu (signal ";  // + N + ")"
inline constexpr const char* kMsgPovRayNoPicture = "POV-Ray n'a pas produit d'image";
inline constexpr const char* kMsgRenderFolder = "Impossible de créer le dossier temporaire du rendu";
inline constexpr const char* kMsgRenderExport = "Impossible d'écrire la scène pour POV-Ray";
inline constexpr const char* kPovSceneFile = "scene.pov";
inline constexpr const char* kPovPictureFile = "rendu.tga";
// The render folders' label: "ixoral-rendu-XXXXXX" under the system's temporary folder.
inline constexpr const char* kRenderFolderLabel = "rendu";

struct TPovRenderOptions {
  int Resolution = 0;  // index among the export resolutions
  bool Antialias = true;
  std::string Program = "povray";     // a name found through PATH, or a path
  D3DCOLOR Background = 0xFF000000u;  // the views' background colour, which the render shows too
};

// POV-Ray's arguments: the scene and picture file names (relative to the folder it runs in),
// uncompressed Targa output at the chosen size, no display window, antialiasing on or off.
std::vector<std::string> PovRayArguments(const TPovRenderOptions& options);

// Reads what POV-Ray writes, in pieces as they come: progress lines ("Rendered N of M pixels",
// separated by carriage returns) and error reports (possibly wrapped over several lines).
class TPovOutputParser {
 public:
  void Feed(std::string_view chunk);
  // Rendered pixels over all pixels, 0 before the rendering starts.
  double Fraction() const { return FFraction; }
  // The error POV-Ray reported, with the scene line it names (0: none).
  const std::string& ErrorText() const { return FErrorText; }
  int ErrorLine() const { return FErrorLine; }
  // The French message of the error ("" when none was reported).
  std::string Message() const;

 private:
  void Line(const std::string& line);
  std::string FPending;
  std::string FLastError;  // the error line being read (continuations are appended)
  double FFraction = 0;
  std::string FErrorText;
  int FErrorLine = 0;
};

enum class TRenderState { Idle, Running, Done, Failed, Cancelled };

class TPovRenderJob {
 public:
  TPovRenderJob() = default;
  ~TPovRenderJob() { Cancel(); }
  TPovRenderJob(const TPovRenderJob&) = delete;
  TPovRenderJob& operator=(const TPovRenderJob&) = delete;

  // Exports view `view` of the scene and starts POV-Ray. False, with Message() set, when POV-Ray
  // is missing or cannot start; the scene is only read.
  bool Start(TScene& scene, int view, const TPovRenderOptions& options, IPrompt* prompt = nullptr);
  // Reads what POV-Ray wrote and sees whether it has ended, without waiting. On its end the
  // picture is read (Done) or the failure explained (Failed), and the folder is removed.
  TRenderState Poll();
  // Ends POV-Ray now and removes the folder (Cancelled); nothing when the job is not running.
  void Cancel();

  TRenderState State() const { return FState; }
  double Progress() const { return FParser.Fraction(); }
  const std::string& Message() const { return FMessage; }
  const TImage& Picture() const { return FPicture; }
  // The folder the job works in while it runs ("" before and after).
  const std::string& Folder() const { return FFolder.Path(); }
  pid_t ProcessId() const { return FProcess.Pid(); }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  void Fail(const std::string& message);
  TChildProcess FProcess;
  TRunFolder FFolder;
  TPovOutputParser FParser;
  TRenderState FState = TRenderState::Idle;
  std::string FMessage;
  TImage FPicture;
  int FWidth = 0, FHeight = 0;
};

}  // namespace ixoral

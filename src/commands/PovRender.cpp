// The POV-Ray render job: its command line, the reading of its output, its temporary folder.
#include "commands/PovRender.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/PictureExport.h"
#include "document/PovExport.h"

namespace ixoral {
namespace fs = std::filesystem;

std::vector<std::string> PovRayArguments(const TPovRenderOptions& options) {
  const size_t k = size_t(std::clamp(options.Resolution, 0, int(ExportResolutions.size()) - 1));
  const TResolution size = ExportResolutions[k];
  return {std::string("+I") + kPovSceneFile,
          std::string("+O") + kPovPictureFile,
          "+FT",  // uncompressed 24-bit Targa, which the program reads itself
          "+W" + std::to_string(size.Width),
          "+H" + std::to_string(size.Height),
          "-D",  // no preview window of POV-Ray's own
          "-P",  // no pause at the end
          options.Antialias ? "+A0.3" : "-A"};
}

// ---- output ----

void TPovOutputParser::Feed(std::string_view chunk) {
  FPending.append(chunk);
  size_t start = 0;
  for (size_t i = 0; i < FPending.size(); ++i) {
    if (FPending[i] == '\n' || FPending[i] == '\r') {
      Line(FPending.substr(start, i - start));
      start = i + 1;
    }
  }
  FPending.erase(0, start);
  // A progress line is complete once its closing parenthesis has come, even before its "\r".
  if (FPending.rfind("Rendered ", 0) == 0 && !FPending.empty() && FPending.back() == ')') {
    Line(FPending);
    FPending.clear();
  }
}

void TPovOutputParser::Line(const std::string& line) {
  unsigned long long done = 0, total = 0;
  if (std::sscanf(line.c_str(), "Rendered %llu of %llu pixels", &done, &total) == 2) {
    if (total > 0) FFraction = std::clamp(double(done) / double(total), 0.0, 1.0);
    FLastError.clear();
    return;
  }
  // POV-Ray wraps long reports: a continuation starts with a space and belongs to the report
  // above it.
  if (!line.empty() && line[0] == ' ' && !FLastError.empty()) {
    FErrorText += line;
    return;
  }
  FLastError.clear();
  // "File 'scene.pov' line 12: Parse Error: ..." (the first real error is the one that counts;
  // "Possible Parse Error" is a warning).
  const size_t at = line.find("Error:");
  if (at == std::string::npos || !FErrorText.empty()) return;
  if (line.find("Possible Parse Error") != std::string::npos) return;
  FErrorText = line.substr(at + 6);
  while (!FErrorText.empty() && FErrorText[0] == ' ') FErrorText.erase(0, 1);
  FLastError = line;
  const size_t l = line.find(" line ");
  if (l != std::string::npos && l < at) {
    int n = 0;
    if (std::sscanf(line.c_str() + l + 6, "%d", &n) == 1 && n > 0) FErrorLine = n;
  }
}

std::string TPovOutputParser::Message() const {
  if (FErrorText.empty()) return {};
  if (FErrorLine > 0) return kMsgPovRayLineError + std::to_string(FErrorLine) + " : " + FErrorText;
  return kMsgPovRayError + FErrorText;
}

// ---- job ----

void TPovRenderJob::Fail(const std::string& message) {
  FMessage = message;
  FState = TRenderState::Failed;
  FFolder.Remove();
}

bool TPovRenderJob::Start(TScene& scene, int view, const TPovRenderOptions& options, IPrompt* prompt) {
  Cancel();
  FParser = {};
  FPicture = {};
  FMessage.clear();
  const size_t k = size_t(std::clamp(options.Resolution, 0, int(ExportResolutions.size()) - 1));
  FWidth = ExportResolutions[k].Width;
  FHeight = ExportResolutions[k].Height;
  const std::string program = FindProgram(options.Program);
  if (program.empty()) {
    Fail(kMsgPovRayMissing);
    return false;
  }
  if (!FFolder.Create(kRenderFolderLabel)) {
    Fail(kMsgRenderFolder);
    return false;
  }
  // The font notes are shown; a failure is told by the job's own message.
  TPovExportOptions exportOptions;
  exportOptions.Background = options.Background;
  const TResult exported = ExportPovScene(scene, view, FFolder.Path() + "/" + kPovSceneFile, false, exportOptions);
  if (prompt)
    for (const std::string& notice : exported.Notices()) prompt->Error(notice);
  if (!exported) {
    Fail(kMsgRenderExport);
    return false;
  }
  std::string error;
  if (!FProcess.Start(program, PovRayArguments(options), FFolder.Path(), error)) {
    Fail(kMsgPovRayStartFailed + error);
    return false;
  }
  FState = TRenderState::Running;
  return true;
}

TRenderState TPovRenderJob::Poll() {
  if (FState != TRenderState::Running) return FState;
  FParser.Feed(FProcess.ReadAvailable());
  if (!FProcess.Finished()) return FState;
  FParser.Feed(FProcess.ReadAvailable());
  FParser.Feed("\n");
  if (FProcess.Signal() != 0) {
    Fail(kMsgPovRayKilled + std::to_string(FProcess.Signal()) + ")");
  } else if (FProcess.ExitCode() != 0) {
    const std::string reported = FParser.Message();
    Fail(!reported.empty() ? reported : kMsgPovRayFailed + std::to_string(FProcess.ExitCode()) + ")");
  } else {
    std::string message;
    if (!LoadImageFile(FFolder.Path() + "/" + kPovPictureFile, FPicture, message) || FPicture.Width != FWidth ||
        FPicture.Height != FHeight) {
      FPicture = {};
      Fail(kMsgPovRayNoPicture);
    } else {
      FState = TRenderState::Done;
      FFolder.Remove();
    }
  }
  return FState;
}

void TPovRenderJob::Cancel() {
  if (FState == TRenderState::Running) {
    FProcess.Kill();
    FState = TRenderState::Cancelled;
  }
  FFolder.Remove();
}

}  // namespace ixoral

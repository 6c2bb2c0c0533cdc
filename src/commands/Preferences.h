// What the main window keeps between runs in the settings store: the recent documents
// ("\OldFiles") and the window preferences ("\options").
#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/Settings.h"

namespace ixoral {

inline constexpr int kRecentFileCount = 5;
inline constexpr const char* kRecentKey = "\\OldFiles";
inline constexpr const char* kOptionsKey = "\\options";

// OldFile1 ... OldFile5, most recent first; empty entries are unused.
std::array<std::string, kRecentFileCount> ReadRecentFiles(TSettingsStore& store);
// Puts `path` first: an entry already in the list moves up, the others move down one place,
// the fifth is dropped when `path` is new. Comparison is exact.
void AddRecent(TSettingsStore& store, const std::string& path);
// "&1 - " ... "&5 - " followed by the path.
std::string RecentCaption(int position, const std::string& path);

// Shading numbers: 1 flat, 2 Gouraud, 3 Phong.
struct TWindowPreferences {
  bool ShowToolBar = true;
  bool ShowProperties = true;
  bool ShowExplorer = true;
  bool ShowGrid = true;
  bool ShowAxes = true;
  bool ShowToolbox = true;
  bool ToolboxFixed = false;
  int ShadeMode = 0;  // 0: none stored, the window keeps its own
  bool Wireframe = false;
  std::optional<int> ToolboxLeft, ToolboxTop;
};

TWindowPreferences ReadPreferences(TSettingsStore& store);
void WritePreferences(TSettingsStore& store, const TWindowPreferences& p);

}  // namespace ixoral

// Recent documents and window preferences in the settings store.
#include "commands/Preferences.h"

#include <charconv>

namespace ixoral {

namespace {

std::string RecentName(int k) { return "OldFile" + std::to_string(k); }

std::optional<int> ReadInt(TSettingsStore& store, const char* name) {
  const std::string text = store.ReadString(kOptionsKey, name);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // A window position far off any screen is a value the program could not have written.
  if (value < -100000 || value > 100000) return std::nullopt;
  return value;
}

}  // namespace

std::array<std::string, kRecentFileCount> ReadRecentFiles(TSettingsStore& store) {
  std::array<std::string, kRecentFileCount> files;
  for (int k = 1; k <= kRecentFileCount; ++k)
    files[static_cast<size_t>(k - 1)] = store.ReadString(kRecentKey, RecentName(k));
  return files;
}

void AddRecent(TSettingsStore& store, const std::string& path) {
  auto files = ReadRecentFiles(store);
  if (files[0] == path) return;
  int from = kRecentFileCount;  // the place freed: the fifth when the path is new
  for (int k = 1; k < kRecentFileCount; ++k)
    if (files[static_cast<size_t>(k)] == path) {
      from = k + 1;
      break;
    }
  for (int k = std::min(from, kRecentFileCount); k >= 2; --k)
    files[static_cast<size_t>(k - 1)] = files[static_cast<size_t>(k - 2)];
  files[0] = path;
  for (int k = 1; k <= kRecentFileCount; ++k)
    store.WriteString(kRecentKey, RecentName(k), files[static_cast<size_t>(k - 1)]);
}

std::string RecentCaption(int position, const std::string& path) {
  return "&" + std::to_string(position) + " - " + path;
}

TWindowPreferences ReadPreferences(TSettingsStore& store) {
  TWindowPreferences p;
  auto shown = [&](const char* name) { return store.ReadString(kOptionsKey, name) != "0"; };
  p.ShowToolBar = shown("ShowToolBar");
  p.ShowProperties = shown("ShowProperties");
  p.ShowExplorer = shown("ShowExplorer");
  p.ShowGrid = shown("ShowGrille");
  p.ShowAxes = shown("ShowAxes");
  p.ShowToolbox = shown("ShowToolbox");
  p.ToolboxFixed = store.ReadString(kOptionsKey, "ToolboxFixe") == "1";
  const std::string shade = store.ReadString(kOptionsKey, "ShadeMode");
  p.ShadeMode = shade == "3" ? 3 : shade == "2" ? 2 : shade == "1" ? 1 : 0;
  p.Wireframe = store.ReadString(kOptionsKey, "FillMode") == "2";
  p.ToolboxLeft = ReadInt(store, "ToolboxLeft");
  p.ToolboxTop = ReadInt(store, "ToolboxTop");
  return p;
}

void WritePreferences(TSettingsStore& store, const TWindowPreferences& p) {
  auto flag = [](bool b) { return b ? "1" : "0"; };
  store.WriteString(kOptionsKey, "ShowToolBar", flag(p.ShowToolBar));
  store.WriteString(kOptionsKey, "ShowProperties", flag(p.ShowProperties));
  store.WriteString(kOptionsKey, "ShowExplorer", flag(p.ShowExplorer));
  store.WriteString(kOptionsKey, "ShowGrille", flag(p.ShowGrid));
  store.WriteString(kOptionsKey, "ShowAxes", flag(p.ShowAxes));
  store.WriteString(kOptionsKey, "ShowToolbox", flag(p.ShowToolbox));
  store.WriteString(kOptionsKey, "ToolboxFixe", flag(p.ToolboxFixed));
  if (p.ShadeMode >= 1 && p.ShadeMode <= 3) store.WriteString(kOptionsKey, "ShadeMode", std::to_string(p.ShadeMode));
  store.WriteString(kOptionsKey, "FillMode", p.Wireframe ? "2" : "3");
  if (p.ToolboxLeft) store.WriteString(kOptionsKey, "ToolboxLeft", std::to_string(*p.ToolboxLeft));
  if (p.ToolboxTop) store.WriteString(kOptionsKey, "ToolboxTop", std::to_string(*p.ToolboxTop));
}

}  // namespace ixoral

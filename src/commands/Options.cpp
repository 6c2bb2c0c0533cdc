// The options and their rules.
#include "commands/Options.h"

#include <cstdio>

namespace ixoral {

namespace {

std::string Decimal(DWORD v) { return std::to_string(v); }

}  // namespace

TOptionsState ReadOptions(TSettingsStore& settings, bool toolboxFixed) {
  TOptionsState s;
  s.Mode = settings.ReadString("\\Affichage", "Device") == "0" ? 0 : 1;
  s.BooleanOperations = settings.ReadString("\\Affichage", "OpBool") == "1";
  s.SaveViews = settings.ReadString("\\options", "EXPORT11") != "0";
  s.Driver = settings.ReadString("\\Affichage", "Driver");
  uint32_t rgb = 0;
  const std::string background = settings.ReadString("\\Options", "CouleurFond");
  s.Background = !background.empty() && ColorFromText(background, rgb) ? rgb : 0;
  s.ToolboxFixed = toolboxFixed;
  s.Look = ReadViewLook(&settings, TViewStyle::Moderne);
  return s;
}

std::vector<TDriverEntry> ListDrivers(TDisplayDevice& probe) {
  probe.ReleaseDevice();
  probe.ReleaseDirectDraw();
  probe.EnumerateDrivers();
  probe.ReadDriverIdentifiers();
  std::vector<TDriverEntry> out;
  for (size_t i = 0; i < probe.Drivers().size(); ++i) {
    const TDriverInfo& d = probe.Drivers()[i];
    TDriverEntry e;
    e.Text = probe.DriverDisplayName(static_cast<int>(i));
    if (d.GuidRef) e.Guid = d.Guid.ToString();
    e.Description = d.Identifier.Description;
    e.DriverName = d.Identifier.Driver;
    e.VendorId = Decimal(d.Identifier.VendorId);
    e.DeviceId = Decimal(d.Identifier.DeviceId);
    e.SubSysId = Decimal(d.Identifier.SubSysId);
    e.Revision = Decimal(d.Identifier.Revision);
    e.CardGuid = d.Identifier.DeviceIdentifier.ToString();
    out.push_back(std::move(e));
  }
  return out;
}

int SelectDriver(const std::vector<TDriverEntry>& drivers, const std::string& stored) {
  for (size_t i = 0; i < drivers.size(); ++i) {
    if (stored.empty() ? !drivers[i].Guid : (drivers[i].Guid && *drivers[i].Guid == stored)) return static_cast<int>(i);
  }
  return drivers.empty() ? -1 : 0;
}

std::vector<std::string> TestDisplay(TDisplayDevice& probe, int driver, int mode, bool booleanOperations) {
  std::vector<std::string> log;
  probe.ReleaseDevice();
  probe.ReleaseDirectDraw();
  probe.EnumerateDrivers();
  if (probe.CreateDirectDraw(driver)) {
    log.push_back(kLogDirectDrawOk);
    if (probe.CreateDevice(mode, booleanOperations)) {
      log.push_back(kLogDirect3dOk);
      log.push_back(kLogAllOk);
    } else {
      log.push_back(kLogDirect3dFailed);
    }
  } else {
    log.push_back(kLogDirectDrawFailed);
  }
  probe.ReleaseDevice();
  probe.ReleaseDirectDraw();
  return log;
}

bool WriteOptions(TSettingsStore& settings, const TOptionsState& opened, const TOptionsState& chosen) {
  settings.WriteString("\\options", "EXPORT11", chosen.SaveViews ? "1" : "0");
  if (chosen.Mode != opened.Mode) {
    settings.DeleteValue("\\Affichage", "Device");
    settings.WriteString("\\Affichage", "Device", std::to_string(chosen.Mode));
  }
  settings.WriteString("\\Affichage", "OpBool", chosen.BooleanOperations ? "1" : "0");
  if (chosen.Driver != opened.Driver) {
    settings.DeleteValue("\\Affichage", "Driver");
    if (!chosen.Driver.empty()) settings.WriteString("\\Affichage", "Driver", chosen.Driver);
  }
  settings.WriteString("\\Options", "CouleurFond", ColorToText(chosen.Background));
  if (chosen.Look != opened.Look) WriteViewLook(settings, chosen.Look);
  return chosen.Mode != opened.Mode || chosen.SaveViews != opened.SaveViews ||
         chosen.BooleanOperations != opened.BooleanOperations || chosen.Driver != opened.Driver;
}

std::string ColorToText(uint32_t rgb) {
  static const std::pair<uint32_t, const char*> names[] = {
      {0x000000, "clBlack"},  {0x800000, "clMaroon"},  {0x008000, "clGreen"}, {0x808000, "clOlive"},
      {0x000080, "clNavy"},   {0x800080, "clPurple"},  {0x008080, "clTeal"},  {0x808080, "clGray"},
      {0xC0C0C0, "clSilver"}, {0xFF0000, "clRed"},     {0x00FF00, "clLime"},  {0xFFFF00, "clYellow"},
      {0x0000FF, "clBlue"},   {0xFF00FF, "clFuchsia"}, {0x00FFFF, "clAqua"},  {0xFFFFFF, "clWhite"}};
  rgb &= 0xFFFFFF;
  for (const auto& [value, name] : names)
    if (value == rgb) return name;
  char text[16];
  std::snprintf(text, sizeof text, "$00%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
  return text;
}

}  // namespace ixoral

// The options of the display and of the program, as the options dialog shows and writes them:
// the display driver, the rendering mode, the boolean-operations switch, the background colour,
// the view records in documents and the tool box fixed beside the window. The test of a driver
// and mode, the "Carte sélectionnée" details, and the rule telling when a restart is needed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Settings.h"
#include "render/DisplayDevice.h"
#include "render/ViewStyle.h"

namespace ixoral {

inline constexpr const char* kMsgRestart =
    "Vous devrez redémarrer le programme pour que\nles nouveaux paramètres prennent effet";
inline constexpr const char* kLogDirectDrawOk = "DirectDraw Initialisé";
inline constexpr const char* kLogDirect3dOk = "Direct 3d Initialisé";
inline constexpr const char* kLogAllOk = "Initialisations terminées avec succès";
inline constexpr const char* kLogDirect3dFailed = "Echec de l'initialisation Direct 3d";
inline constexpr const char* kLogDirectDrawFailed = "Echec de l'initialisation DirectDraw";
inline constexpr const char* kNotAvailable = "Non disponible";
// The rendering modes, in the list's order: 0 software, 1 the fast device.
inline constexpr const char* kModeCaptions[2] = {"Logiciel", "Matériel (conseillé)"};

struct TOptionsState {
  int Mode = 1;                    // "Device": 0 only when stored "0"
  bool BooleanOperations = false;  // "OpBool" = "1"
  bool SaveViews = true;           // "EXPORT11" other than "0"
  std::string Driver;              // the braced identifier; empty: the primary display driver
  uint32_t Background = 0;         // 0xRRGGBB; black when none is stored
  bool ToolboxFixed = false;
  TViewLook Look{TViewStyle::Moderne};  // "Style" and "Anticrenelage"; "Moderne" for a new user
};

// One driver of the list with what "Carte sélectionnée" shows of it.
struct TDriverEntry {
  std::string Text;                 // the list's line
  std::optional<std::string> Guid;  // braced identifier; none for the primary display driver
  std::string Description, DriverName, VendorId, DeviceId, SubSysId, Revision, CardGuid;
};

// The stored options (`toolboxFixed` comes from the main window).
TOptionsState ReadOptions(TSettingsStore& settings, bool toolboxFixed);
// The drivers `probe` enumerates, with their identifiers read.
std::vector<TDriverEntry> ListDrivers(TDisplayDevice& probe);
// The entry to select for a stored driver: the one whose identifier is `stored`, else (stored
// empty) the one without identifier, else the first; -1 for an empty list.
int SelectDriver(const std::vector<TDriverEntry>& drivers, const std::string& stored);
// "Tester les parmètres": starts `probe` on driver `driver` with `mode` and the switch, and says
// how it went, line by line; the probe's devices are released afterwards.
std::vector<std::string> TestDisplay(TDisplayDevice& probe, int driver, int mode, bool booleanOperations);
// "&OK": writes what the dialog shows; true when a restart is needed for it to take effect (the
// mode, the view records, the boolean operations or the driver changed; the look of the views
// changes at once).
bool WriteOptions(TSettingsStore& settings, const TOptionsState& opened, const TOptionsState& chosen);
// A colour as the settings store keeps it: the window system's name of a standard colour
// ("clBlack"...), else "$00BBGGRR".
std::string ColorToText(uint32_t rgb);

}  // namespace ixoral

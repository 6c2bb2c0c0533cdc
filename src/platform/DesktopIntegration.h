// The desktop's knowledge of the program for the current user, the freedesktop way: the scene
// document type ("application/x-ixoral", "*.ixr") in the user's shared MIME database and a desktop
// entry that opens such documents with the running executable, so that file managers show the
// documents with the program's icon and open them with it.
#pragma once

#include <string>

namespace ixoral {

inline constexpr const char* kDesktopId = "org.ixoral.Ixoral";
inline constexpr const char* kDocumentMimeType = "application/x-ixoral";

struct TDesktopRegistration {
  bool MimeWritten = false;             // the MIME package was new or different
  bool EntryWritten = false;            // the desktop entry was new or different
  bool IconWritten = false;             // the icon was copied into the user's icon theme
  bool DatabaseUpdated = false;         // update-mime-database ran (only when waited for)
  bool DesktopDatabaseUpdated = false;  // update-desktop-database ran (only when waited for)
  std::string EntryPath;
  std::string MimePath;
};

// The desktop entry's text for the program at `executablePath`.
std::string DesktopEntryText(const std::string& executablePath);
// The MIME package's text.
std::string MimePackageText();
// `path` quoted for a desktop entry's Exec key when it needs it.
std::string QuoteExecArgument(const std::string& path);

// Writes what differs under `dataHome` (the user's XDG data folder: "mime/packages",
// "applications", "icons/hicolor/scalable/apps"), then refreshes the MIME database with
// update-mime-database and the applications' MIME cache with update-desktop-database where they
// are installed, so that file managers offer the program for its documents at once — in the
// background unless `wait`. `iconSource` is
// the program's icon (nothing is copied when empty or missing). Files are written atomically;
// failures are silent (the program works without the association).
TDesktopRegistration RegisterDesktopIntegration(const std::string& executablePath, const std::string& dataHome,
                                                const std::string& iconSource, bool wait = false);

// The program's scalable icon where this process can find it (installed beside the data folder,
// or in the source tree's "desktop" folder); empty when it cannot.
std::string FindProgramIcon();

}  // namespace ixoral

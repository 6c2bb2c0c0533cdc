// Opens a help page in the desktop's browser, from F1, "&Rubriques d'aides" and every dialog's
// "?" label.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace ixoral {

class IPrompt;

using THelpOpener = std::function<bool(const std::string& path)>;

// Opens `page` (a file name among the help pages; the first page when empty), telling the user
// why when it cannot. `prompt` may be null: message boxes over `parent`.
bool OpenHelpPage(QWidget* parent, const QString& page, IPrompt* prompt = nullptr);

// What opens a page (the desktop's browser by default); tests put their own. Returns the one it
// replaces.
THelpOpener SetHelpOpener(THelpOpener opener);

}  // namespace ixoral

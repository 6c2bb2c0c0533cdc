// The help pages: French HTML pages shipped in the data folder's "help" folder, one per subject
// and one per dialog, opened in the desktop's browser. Finding the page and the messages when it
// cannot be shown live here; the window gives the way to open a browser.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Prompt.h"

namespace ixoral {

inline constexpr const char* kHelpFolder = "help";
inline constexpr const char* kHelpIndex = "index.html";
inline constexpr const char* kMsgHelpMissing =
    "L'aide est introuvable : le dossier des pages d'aide n'est pas installé.\nDossiers cherchés :\n";
inline constexpr const char* kMsgHelpNoBrowser = "Aucun navigateur n'a pu ouvrir l'aide.\nOuvrez vous-même la page :\n";

// The pages, by subject; each dialog names its own.
namespace help {
inline constexpr const char* Index = "index.html";
inline constexpr const char* Interface = "interface.html";
inline constexpr const char* Objets = "objets.html";
inline constexpr const char* Explorateur = "explorateur.html";
inline constexpr const char* Proprietes = "proprietes.html";
inline constexpr const char* Outils = "outils.html";
inline constexpr const char* Editeurs = "editeurs.html";
inline constexpr const char* Export = "export.html";
inline constexpr const char* Clavier = "clavier.html";
inline constexpr const char* Assistant = "assistant.html";
inline constexpr const char* Renommer = "renommer.html";
inline constexpr const char* APropos = "apropos.html";
}  // namespace help

// The path of `page` in the help folder; the help's first page when `page` is empty or is not
// there; empty when the help folder itself cannot be found. A page name is a plain file name: one
// with a folder part or ".." is not looked up.
std::string HelpPagePath(const std::string& page);
// The same in the help folder `folder` (empty: no help folder).
std::string HelpPagePathIn(const std::string& folder, const std::string& page);

// Opens `page` with `openInBrowser` (true when a browser took it). Without the help folder, or
// when no browser takes the page, tells the user why (naming the page's path) and answers false.
// `folder` replaces the shipped help folder when given.
bool OpenHelp(const std::string& page, IPrompt& prompt,
              const std::function<bool(const std::string& path)>& openInBrowser,
              const std::optional<std::string>& folder = std::nullopt);

}  // namespace ixoral

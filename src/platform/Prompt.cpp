// Scripted and standard-error implementations of the prompt interface.
#include "platform/Prompt.h"

#include <cerrno>
#include <cstdio>

#include "platform/Trace.h"

namespace ixoral {

TAnswer TScriptedPrompt::Next() {
  if (FAnswers.empty()) return FFallback;
  const TAnswer a = FAnswers.front();
  FAnswers.pop_front();
  return a;
}

void TScriptedPrompt::Information(const std::string& text) { FShown.push_back({TShown::Information, text}); }

void TScriptedPrompt::Error(const std::string& text) { FShown.push_back({TShown::Error, text}); }

bool TScriptedPrompt::YesNo(const std::string& question) {
  FShown.push_back({TShown::YesNo, question});
  TAnswer a = Next();
  return a == TAnswer::Yes;
}

TAnswer TScriptedPrompt::YesNoCancel(const std::string& question) {
  FShown.push_back({TShown::YesNoCancel, question});
  return Next();
}

std::vector<std::string> TScriptedPrompt::Texts() const {
  std::vector<std::string> out;
  for (const auto& s : FShown) out.push_back(s.Text);
  return out;
}

void TStderrPrompt::Information(const std::string& text) {
  TScriptedPrompt::Information(text);
  std::fprintf(stderr, "%s\n", text.c_str());
}

void TStderrPrompt::Error(const std::string& text) {
  TScriptedPrompt::Error(text);
  std::fprintf(stderr, "%s\n", text.c_str());
}

std::string ReasonOf(const std::error_code& code) {
  if (!code) return {};
  if (code.category() == std::generic_category() || code.category() == std::system_category()) {
    switch (code.value()) {
      case EACCES:
      case EPERM:
        return "Permission non accordée";
      case ENOSPC:
        return "Aucun espace disponible sur le périphérique";
      case EDQUOT:
        return "Quota de disque dépassé";
      case EROFS:
        return "Système de fichiers accessible en lecture seulement";
      case ENOENT:
        return "Aucun fichier ou dossier de ce type";
      case EEXIST:
        return "Le fichier existe déjà";
      case EISDIR:
        return "C'est un dossier";
      case ENOTDIR:
        return "Un élément du chemin n'est pas un dossier";
      case ENAMETOOLONG:
        return "Nom de fichier trop long";
      case ELOOP:
        return "Trop de niveaux de liens symboliques";
      case EIO:
        return "Erreur d'entrée/sortie";
      case EFBIG:
        return "Fichier trop volumineux";
      case EMFILE:
      case ENFILE:
        return "Trop de fichiers ouverts";
      case ENOMEM:
        return "Mémoire insuffisante";
      default:
        break;
    }
  }
  return code.message();
}

void ShowFailure(IPrompt& prompt, const TError& error, const std::string& file) {
  if (!error.Reason.empty()) Trace(error.Message + " (" + error.Reason + ")");
  if (error.Message.empty()) return;
  // The message stays word for word; the file it concerns, when the message does not name it,
  // and why it failed follow on a line of their own.
  std::string why = error.Reason;
  if (!file.empty() && error.Message.find(file) == std::string::npos) why = why.empty() ? file : file + " : " + why;
  prompt.Error(why.empty() ? error.Message : error.Message + "\n" + why);
}

bool ShowResult(IPrompt& prompt, const TResult& result, TNoticeKind notices, const std::string& file) {
  for (const std::string& notice : result.Notices()) {
    if (notices == TNoticeKind::Error)
      prompt.Error(notice);
    else
      prompt.Information(notice);
  }
  if (!result) ShowFailure(prompt, result.Error(), file);
  return result.Ok();
}

std::function<void(const TError&)> FailuresShownBy(IPrompt& prompt) {
  return [&prompt](const TError& error) { ShowFailure(prompt, error); };
}

}  // namespace ixoral

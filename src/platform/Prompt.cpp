// Scripted and standard-error implementations of the prompt interface.
#include "platform/Prompt.h"

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

void ShowFailure(IPrompt& prompt, const TError& error) {
  if (!error.Reason.empty()) Trace(error.Message + " (" + error.Reason + ")");
  if (error.Message.empty()) return;
  prompt.Error(error.ReasonShown && !error.Reason.empty() ? error.Message + "\n" + error.Reason : error.Message);
}

bool ShowResult(IPrompt& prompt, const TResult& result, TNoticeKind notices) {
  for (const std::string& notice : result.Notices()) {
    if (notices == TNoticeKind::Error)
      prompt.Error(notice);
    else
      prompt.Information(notice);
  }
  if (!result) ShowFailure(prompt, result.Error());
  return result.Ok();
}

std::function<void(const TError&)> FailuresShownBy(IPrompt& prompt) {
  return [&prompt](const TError& error) { ShowFailure(prompt, error); };
}

}  // namespace ixoral

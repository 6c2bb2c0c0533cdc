// Message boxes and questions: the program's French messages reach the user through this interface.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace ixoral {

enum class TAnswer { Yes, No, Cancel };

// Implemented by Qt dialogs in the modeller, by the batch tool from its flags and by a scripted
// answerer in tests. Callers pass the exact texts the user must read.
class IPrompt {
 public:
  virtual ~IPrompt() = default;
  virtual void Information(const std::string& text) = 0;
  virtual void Error(const std::string& text) = 0;
  virtual bool YesNo(const std::string& question) = 0;
  virtual TAnswer YesNoCancel(const std::string& question) = 0;
};

// Answers from a queue prepared in advance and records every text shown; with the queue empty it
// answers the fallback. Used by tests and by the batch tool.
class TScriptedPrompt : public IPrompt {
 public:
  struct TShown {
    enum Kind { Information, Error, YesNo, YesNoCancel } Kind;
    std::string Text;
  };

  explicit TScriptedPrompt(TAnswer fallback = TAnswer::No) : FFallback(fallback) {}
  void QueueAnswer(TAnswer a) { FAnswers.push_back(a); }

  void Information(const std::string& text) override;
  void Error(const std::string& text) override;
  bool YesNo(const std::string& question) override;
  TAnswer YesNoCancel(const std::string& question) override;

  const std::vector<TShown>& Shown() const { return FShown; }
  void ClearShown() { FShown.clear(); }
  // The texts shown, in order, whatever their kind.
  std::vector<std::string> Texts() const;

 private:
  TAnswer Next();
  TAnswer FFallback;
  std::deque<TAnswer> FAnswers;
  std::vector<TShown> FShown;
};

// Prints messages on standard error and answers questions with the fallback; the batch tool's voice.
class TStderrPrompt : public TScriptedPrompt {
 public:
  using TScriptedPrompt::TScriptedPrompt;
  void Information(const std::string& text) override;
  void Error(const std::string& text) override;
};

// Shows a failure's message as an error, and on a second line the file it concerns (`file`, when
// the message does not name it already) and its reason; a failure with nothing to tell shows
// nothing. The reason also goes to the trace log.
void ShowFailure(IPrompt& prompt, const TError& error, const std::string& file = {});
// How the notes of a result reach the user.
enum class TNoticeKind { Information, Error };
// Shows a result: its notes in order, each as `notices` says, then its failure (ShowFailure).
// Answers whether it succeeded.
bool ShowResult(IPrompt& prompt, const TResult& result, TNoticeKind notices = TNoticeKind::Information,
                const std::string& file = {});
// A failure handler (the settings store's) that shows what it is told through `prompt`.
std::function<void(const TError&)> FailuresShownBy(IPrompt& prompt);

}  // namespace ixoral

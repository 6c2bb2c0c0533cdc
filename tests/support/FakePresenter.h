// A presenter that records what the assistant asks of the character; the test delivers the
// events and sets the "Speaking" state itself.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "assistant/Presenter.h"

namespace ixoral::test {

// Records what the assistant asks of the character; the events are delivered by the test.
class TFakePresenter : public IAssistantPresenter {
 public:
  bool Load(const std::string& id, const std::string& file) override {
    LoadedFile = file;
    if (!Error.empty() && (Broken.empty() || Broken.count(file))) return false;
    LoadedId = id;
    return true;
  }
  std::string LastError() const override { return Error; }
  void Unload(const std::string& id) override {
    if (LoadedId == id) LoadedId.clear();
    Commands.clear();
  }
  bool Loaded() const override { return !LoadedId.empty(); }
  TRequestId Show() override { return Log("show"); }
  TRequestId Hide() override { return Log("hide"); }
  void Stop() override { Log("stop"); }
  TRequestId Speak(const std::string& text) override {
    Spoken.push_back(text);
    return Log("speak");
  }
  TRequestId MoveTo(int x, int y, int) override {
    Moves.emplace_back(x, y);
    return Log("move");
  }
  TRequestId GestureAt(int x, int y) override {
    Gestures.emplace_back(x, y);
    return Log("gesture");
  }
  TRequestId Play(const std::string& animation) override {
    Played.push_back(animation);
    return Log("play");
  }
  bool Speaking() const override { return SpeakingNow; }
  bool Visible() const override { return false; }
  int Width() const override { return 100; }
  int Height() const override { return 150; }
  int Left() const override { return X; }
  int Top() const override { return Y; }
  void SetPosition(int left, int top) override {
    X = left;
    Y = top;
  }
  void AddCommand(const std::string& name, const std::string& caption, bool, bool) override {
    Commands.push_back(name + "=" + caption);
  }
  void RemoveCommands() override { Commands.clear(); }
  void SetCommandWindowVisible(bool) override {}

  TRequestId Log(const char* what) {
    Calls.push_back(what);
    return static_cast<TRequestId>(Calls.size());
  }
  std::string LoadedId, LoadedFile, Error;
  std::set<std::string> Broken;  // with Error set: only these files fail (empty: every file)
  std::vector<std::string> Calls, Spoken, Commands, Played;
  std::vector<std::pair<int, int>> Moves, Gestures;
  bool SpeakingNow = false;
  int X = 0, Y = 0;
};

}  // namespace ixoral::test

// File dialogs answered from queues prepared by a test; an empty queue answers as a cancel.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "commands/Modeller.h"

namespace ixoral::test {

struct TScriptedFiles : IFileChooser {
  std::deque<std::string> Open;
  std::deque<TChosenFile> Save;
  TResolutionChoice Resolution;
  std::deque<std::string> Export;
  std::deque<std::vector<std::string>> Import;

  std::optional<std::string> ChooseDocumentToOpen() override { return Next(Open); }
  std::optional<TChosenFile> ChooseFileToSave() override { return Next(Save); }
  std::optional<TResolutionChoice> ChooseResolution() override { return Resolution; }
  std::optional<std::string> ChooseExportFile() override { return Next(Export); }
  std::vector<std::string> ChooseMeshFiles() override { return Next(Import).value_or(std::vector<std::string>{}); }
  void StartIn(const std::string& folder) override { StartedIn.push_back(folder); }
  std::vector<std::string> StartedIn;  // the folder each dialog was told to start in

 private:
  template <class T>
  static std::optional<T> Next(std::deque<T>& queue) {
    if (queue.empty()) return std::nullopt;
    T front = queue.front();
    queue.pop_front();
    return front;
  }
};

}  // namespace ixoral::test

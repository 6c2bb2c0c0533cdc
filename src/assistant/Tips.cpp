#include "assistant/Tips.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sys/stat.h>

#include "platform/Encoding.h"

namespace ixoral {

bool TTipsFile::Exists() const {
  struct stat st {};
  return !FPath.empty() && ::stat(FPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long TTipsFile::Count() const {
  struct stat st {};
  if (FPath.empty() || ::stat(FPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<long>(st.st_size / kTipRecordSize);
}

std::optional<std::string> TTipsFile::Read(long index) const {
  if (index < 0 || index >= Count()) return std::nullopt;
  std::ifstream in(FPath, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(index) * kTipRecordSize);
  char record[kTipRecordSize];
  if (!in.read(record, kTipRecordSize)) return std::nullopt;
  const void* zero = std::memchr(record, 0, kTipRecordSize);
  const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - record) : kTipRecordSize;
  return Win1252ToUtf8(std::string_view(record, length));
}

long RandomTipIndex(double u, long count) {
  if (count <= 0 || !(u >= 0)) return 0;
  return std::min(count, static_cast<long>(std::lround(u * static_cast<double>(count))));
}

TAssistant::TAssistant(IAssistantPresenter& presenter, IPrompt& prompt, std::string tipsPath, std::string characterFile)
    : FPresenter(presenter),
      FPrompt(prompt),
      FTips(std::move(tipsPath)),
      FCharacterFile(std::move(characterFile)),
      FVoice(presenter, [this] { return FVisible; }) {
  if (FCharacterFile.empty()) FCharacterFile = kDefaultCharacter;
}

void TAssistant::StartTips() {
  // A file without a single whole record cannot give a tip: the same advice as a missing one.
  if (!FTips.Exists() || FTips.Count() == 0) {
    FPrompt.Error(kMsgTipsFileGone);
    return;
  }
  if (StopPresentationTimer) StopPresentationTimer();
  const uint32_t seed =
      FSeed ? *FSeed : static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::mt19937 random(seed);
  const double u = static_cast<double>(random() >> 8) / static_cast<double>(1u << 24);
  FTipIndex = RandomTipIndex(u, FTips.Count());

  if (!LoadCharacter()) return;
  if (FVisible) {
    if (FMode != TAssistantMode::Presentations) {
      FPrompt.Information(kMsgAgentLoaded);
      return;
    }
    FMode = TAssistantMode::Tips;
    FPresenter.Stop();
  }
  AddTipCommands();
  Place();
  FPresenter.Show();
  FMode = TAssistantMode::Tips;
  ShowCurrentTip();
}

bool TAssistant::LoadCharacter() {
  if (FPresenter.Load(kCharacterId, FCharacterFile)) return true;
  const std::string failure = FPresenter.LastError();
  FPrompt.Error(failure);
  for (const std::string& other : FFallbacks) {
    if (other == FCharacterFile || !FPresenter.Load(kCharacterId, other)) continue;
    FCharacterFile = other;  // the next time goes straight to the one that works
    return true;
  }
  return false;
}

void TAssistant::AddTipCommands() {
  // The tour commands of a presentation give way to the tip commands.
  FPresenter.RemoveCommands();
  FPresenter.AddCommand(kCmdNextTip, kCmdNextTipCaption, true, true);
  FPresenter.AddCommand(kCmdPreviousTip, kCmdPreviousTipCaption, true, true);
}

void TAssistant::Place() {
  if (!Placement) return;
  const auto [left, top] = Placement(FPresenter.Width(), FPresenter.Height());
  FPresenter.SetPosition(left, top);
}

void TAssistant::ShowCurrentTip() {
  if (!FTips.Exists()) {
    FPrompt.Error(kMsgTipsFileMissing);
    return;
  }
  const long count = FTips.Count();
  if (FTipIndex > count || FTipIndex <= 0) FTipIndex = 1;
  const std::optional<std::string> tip = FTips.Read(FTipIndex - 1);
  if (!tip) {
    // The file lost its records since the tips started (emptied or cut short).
    FPrompt.Error(kMsgTipsFileMissing);
    return;
  }
  FPresenter.Speak(*tip);
}

void TAssistant::StartPresentations(IMainTourHost& host) {
  if (StartPresentationTimer) StartPresentationTimer();
  if (!LoadCharacter()) {
    if (StopPresentationTimer) StopPresentationTimer();
    return;
  }
  if (FVisible && FMode == TAssistantMode::Presentations) {
    FPrompt.Information(kMsgAgentLoaded);
    return;
  }
  FPresenter.Stop();
  FPresenter.RemoveCommands();
  for (const TTourCommand& c : TourCommands()) FPresenter.AddCommand(c.Name, c.Caption, true, true);
  FPresenter.SetCommandWindowVisible(false);
  FMode = TAssistantMode::Presentations;
  FPresentation = std::make_unique<TPresentation>(FVoice, host);
  FPresentation->Select(TTour::Welcome);
  if (!FVisible) Place();
  FPresenter.Show();
  // A character already on the screen welcomes at once; one appearing does so when it is shown.
  PresentationTick();
}

void TAssistant::PresentationTick() {
  if (FPresentation && FMode == TAssistantMode::Presentations) FPresentation->Tick();
}

void TAssistant::OnShown() {
  FVisible = true;
  if (FPresentation && FMode == TAssistantMode::Presentations && FPresentation->Step() == 0) PresentationTick();
}

void TAssistant::OnHidden() {
  FVisible = false;
  FMode = TAssistantMode::None;
  FPresenter.Unload(kCharacterId);
}

void TAssistant::OnCommand(const std::string& name) {
  if (FMode == TAssistantMode::Presentations) {
    const std::optional<TTour> tour = TourOfCommand(name);
    if (!tour || !FPresentation) return;
    // The chosen tour starts from its first step; what the previous one still had to say is
    // dropped.
    FPresenter.Stop();
    FPresentation->Select(*tour);
    if (StartPresentationTimer) StartPresentationTimer();
    PresentationTick();
    return;
  }
  if (FMode != TAssistantMode::Tips) return;
  if (name == kCmdNextTip) {
    ++FTipIndex;
  } else if (name == kCmdPreviousTip) {
    --FTipIndex;
  } else {
    return;
  }
  // The tip asked for replaces the one being read rather than waiting behind it.
  FPresenter.Stop();
  ShowCurrentTip();
}

}  // namespace ixoral

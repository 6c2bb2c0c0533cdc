// The modeller's document: history, saved state, opening and the recovery copy.
#include "commands/DocumentSession.h"

namespace ixoral {

TDocumentLoad::TDocumentLoad(std::string path, const std::array<TVue, 4>& views) : FPath(std::move(path)) {
  // Views the document does not carry stay as the user has them.
  FLoaded.Views = views;
  FRead = std::async(std::launch::async, [this] {
    {
      std::lock_guard<std::mutex> hold(FLock);
      FReader = std::this_thread::get_id();
    }
    return LoadDocument(FLoaded, FPath, {}, TTextureUse::Extract, {}, [this](const std::string& message, int percent) {
      std::lock_guard<std::mutex> hold(FLock);
      FMessage = message;
      FPercent = percent;
      ++FReports;
    });
  });
}

TDocumentLoad::~TDocumentLoad() {
  if (FRead.valid()) FRead.wait();
}

bool TDocumentLoad::Ended(std::chrono::milliseconds wait) const {
  return !FRead.valid() || FRead.wait_for(wait) == std::future_status::ready;
}

void TDocumentLoad::ForwardProgress(const TDocumentProgress& progress) {
  std::string message;
  int percent = 0;
  {
    std::lock_guard<std::mutex> hold(FLock);
    if (FReports == FForwarded) return;
    FForwarded = FReports;
    message = FMessage;
    percent = FPercent;
  }
  if (progress) progress(message, percent);
}

TResult TDocumentLoad::Result() {
  if (FRead.valid()) return FRead.get();
  return TError();
}

std::thread::id TDocumentLoad::ReaderThread() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FReader;
}

bool TDocumentSession::StartOpen(const std::string& path) {
  if (FLoad) return false;
  FLoad = std::make_unique<TDocumentLoad>(path, FScene.Views);
  return true;
}

TResult TDocumentSession::FinishOpen(const std::function<bool()>& mayReplace) {
  if (!FLoad) return TError();
  // The reader's scene is taken in here, on the scene's own thread, and the load ends whatever
  // the answer: a document refused or declined leaves the user's scene as it was.
  const std::unique_ptr<TDocumentLoad> load = std::move(FLoad);
  if (TResult read = load->Result(); !read) return read;
  if (mayReplace && !mayReplace()) return TError();
  FScene.AdoptContentFrom(load->Loaded());
  return {};
}

TResult TDocumentSession::Open(const std::string& path, const std::function<bool()>& mayReplace,
                               const TDocumentProgress& progress) {
  // Read once, on the side: the user's scene is neither questioned nor cleared for a document
  // that turns out unreadable.
  if (!StartOpen(path)) return TError();
  while (!FLoad->Ended(std::chrono::milliseconds(20))) FLoad->ForwardProgress(progress);
  FLoad->ForwardProgress(progress);
  return FinishOpen(mayReplace);
}

void TDocumentSession::AttachRecovery(std::unique_ptr<TRecovery> recovery) {
  FRecovery = std::move(recovery);
  FSchedule.Covered(FHistory.Version(), FScene.ObjectCount());
}

void TDocumentSession::CheckLastWrite() {
  const std::optional<TResult> outcome = FRecovery->TakeOutcome();
  if (!outcome || outcome->Ok() == !FRecoveryFailing) {
    if (outcome && !outcome->Ok()) FSchedule.Covered(~uint64_t{0}, FScene.ObjectCount());  // again next tick
    return;
  }
  FRecoveryFailing = !outcome->Ok();
  if (FRecoveryFailing) FSchedule.Covered(~uint64_t{0}, FScene.ObjectCount());
  if (OnRecoveryTrouble) OnRecoveryTrouble(FRecoveryFailing ? &outcome->Error() : nullptr);
}

bool TDocumentSession::WriteRecoveryIfDue(bool tick) {
  if (!FRecovery) return false;
  CheckLastWrite();
  const uint64_t version = FHistory.Version();
  const int objects = FScene.ObjectCount();
  const bool due =
      tick ? FSchedule.DueOnTick(Modified(), version) : FSchedule.DueAfterChange(Modified(), version, objects);
  if (!due) return false;
  if (!FRecovery->Write(FScene)) return false;  // the previous write still runs: next time
  FSchedule.Covered(version, objects);
  return true;
}

void TDocumentSession::Settled() {
  if (Modified()) return;
  if (FRecovery) FRecovery->Discard();
  FSchedule.Covered(FHistory.Version(), FScene.ObjectCount());
}

void TDocumentSession::Close() {
  if (FRecovery) FRecovery->Discard();
}

}  // namespace ixoral

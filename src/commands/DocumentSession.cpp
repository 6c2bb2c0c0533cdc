// The modeller's document: history, saved state, opening and the recovery copy.
#include "commands/DocumentSession.h"

namespace ixoral {

TResult TDocumentSession::Open(const std::string& path, const std::function<bool()>& mayReplace,
                               const TDocumentProgress& progress) {
  // Read once, on the side: the user's scene is neither questioned nor cleared for a document
  // that turns out unreadable. Views the document does not carry stay as the user has them.
  TScene loaded;
  loaded.Views = FScene.Views;
  if (TResult read = LoadDocument(loaded, path, {}, TTextureUse::Extract, {}, progress); !read) return read;
  if (mayReplace && !mayReplace()) return TError();
  FScene.AdoptContentFrom(loaded);
  return {};
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

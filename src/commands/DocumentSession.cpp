// The modeller's document: history, saved state, opening and the recovery copy.
#include "commands/DocumentSession.h"

namespace ixoral {

bool TDocumentSession::Open(const std::string& path, IPrompt& prompt, const std::function<bool()>& mayReplace,
                            const TDocumentProgress& progress) {
  // Read once, on the side: the user's scene is neither questioned nor cleared for a document
  // that turns out unreadable. Views the document does not carry stay as the user has them.
  TScene loaded;
  loaded.Views = FScene.Views;
  if (!LoadDocument(loaded, path, &prompt, {}, TTextureUse::Extract, {}, progress)) return false;
  if (mayReplace && !mayReplace()) return false;
  FScene.AdoptContentFrom(loaded);
  return true;
}

void TDocumentSession::AttachRecovery(std::unique_ptr<TRecovery> recovery) {
  FRecovery = std::move(recovery);
  FSchedule.Covered(FHistory.Version(), FScene.ObjectCount());
}

bool TDocumentSession::WriteRecoveryIfDue(bool tick) {
  if (!FRecovery) return false;
  const uint64_t version = FHistory.Version();
  const int objects = FScene.ObjectCount();
  const bool due = tick ? FSchedule.DueOnTick(Modified(), version)
                        : FSchedule.DueAfterChange(Modified(), version, objects);
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

// libFuzzer harness: any bytes as a scene text, and as one pasted object record.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzLimits.h"
#include "platform/Encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const ixoral::TLoadLimits limits = ixoral::FuzzLimits();
  ixoral::TScene scene;
  std::string refusal;
  ixoral::ReadSceneText(scene, bytes, &refusal, limits);
  // What a paste does with the clipboard's text, within the harness's limits: a text with more
  // fields than one record holds (its own fields and seven per hand edit) is not split, as the
  // paste refuses it before splitting.
  const auto fields = static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), ';'));
  if (fields > 64 + 7 * limits.HandEdits) return 0;
  ixoral::TLoadBudget budget;
  budget.Limits = limits;
  const std::string text = ixoral::IsValidUtf8(bytes) ? bytes : ixoral::Win1252ToUtf8(bytes);
  ixoral::ParseObject(scene, ixoral::SplitRecord(text), &budget);
  return 0;
}

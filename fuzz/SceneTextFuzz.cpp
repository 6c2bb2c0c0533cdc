// libFuzzer harness: any bytes as a scene text, and as one pasted object record.
#include <cstdint>
#include <string>

#include "FuzzLimits.h"
#include "platform/Encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ixoral::TScene scene;
  std::string refusal;
  ixoral::ReadSceneText(scene, bytes, &refusal, ixoral::FuzzLimits());
  // What a paste does with the clipboard's text, within the harness's limits.
  ixoral::TLoadBudget budget;
  budget.Limits = ixoral::FuzzLimits();
  const std::string text = ixoral::IsValidUtf8(bytes) ? bytes : ixoral::Win1252ToUtf8(bytes);
  ixoral::ParseObject(scene, ixoral::SplitRecord(text), &budget);
  return 0;
}

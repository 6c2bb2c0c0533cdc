// libFuzzer harness: any bytes as a scene text, and as clipboard text.
#include <cstdint>
#include <string>

#include "document/SceneDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ixoral::TScene scene;
  ixoral::ReadSceneText(scene, bytes);
  ixoral::TMemoryClipboard clip;
  clip.SetText(bytes);
  ixoral::PasteFromClipboard(scene, clip, nullptr);
  return 0;
}

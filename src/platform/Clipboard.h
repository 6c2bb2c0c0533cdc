// The plain-text clipboard: QClipboard in the modeller, memory in tests and in the batch tool.
#pragma once

#include <string>

namespace ixoral {

class IClipboard {
 public:
  virtual ~IClipboard() = default;
  // UTF-8 text; empty when the clipboard holds no text.
  virtual std::string GetText() = 0;
  virtual void SetText(const std::string& text) = 0;
};

class TMemoryClipboard : public IClipboard {
 public:
  std::string GetText() override;
  void SetText(const std::string& text) override;

 private:
  std::string FText;
};

}  // namespace ixoral

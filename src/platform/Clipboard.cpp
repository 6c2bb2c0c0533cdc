// In-memory clipboard.
#include "platform/Clipboard.h"

namespace ixoral {

std::string TMemoryClipboard::GetText() { return FText; }
void TMemoryClipboard::SetText(const std::string& text) { FText = text; }

}  // namespace ixoral

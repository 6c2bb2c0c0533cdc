// Writing a file whole or not at all: the bytes go to a temporary file in the target's folder,
// are flushed to disk, and the temporary is renamed over the target. A reader never sees half a
// file, a failed write leaves the previous file as it was, and a link left at the target is
// replaced, never followed.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace ixoral {

enum class TFileMode {
  UserDefault,  // 0666 less the user's umask, as any program's ordinary output
  Private,      // 0600: settings and files only this user should read
};

// The prefix every temporary of WriteFileAtomically carries after the target's name; a later
// write to the same folder may remove temporaries of this shape that a killed process left.
inline constexpr std::string_view kAtomicTemporaryMark = ".ixoral-tmp-";

// Writes `bytes` to `target` atomically. The target's folder must exist. Returns false (and leaves
// the target and the folder as they were) when any step fails; `failure`, when given, then holds
// the system's error of that step (permission denied, no space left...).
bool WriteFileAtomically(const std::string& target, std::string_view bytes, TFileMode mode = TFileMode::UserDefault,
                         std::error_code* failure = nullptr);

}  // namespace ixoral

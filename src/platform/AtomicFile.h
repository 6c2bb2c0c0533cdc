// Writing a file whole or not at all: the bytes go to a temporary file in the target's folder,
// are flushed to disk, and the temporary is renamed over the target. A reader never sees half a
// file and a failed write leaves the previous file as it was.
//
// What happens to a symbolic link at the target depends on what is written. The program's own
// files (settings, extracted entries, exports, render folders) replace a link, never follow it: a
// link planted in one of those folders must not send the program's bytes anywhere else. A
// document the user saves over is the user's file: a link to it is followed to the file it names,
// and the new content takes that file's permissions, group and owner (TFileMode::KeepReplaced).
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace ixoral {

enum class TFileMode {
  UserDefault,  // 0666 less the user's umask, as any program's ordinary output
  Private,      // 0600: settings and files only this user should read
  // A document saved over: a symbolic link at the target is followed to its final file, which is
  // replaced in its own folder while the link stays; an existing file's permission bits, group
  // and (where the system lets us) owner carry over to the new one. A new file is UserDefault.
  KeepReplaced,
};

// The prefix every temporary of WriteFileAtomically carries after the target's name; a later
// write to the same folder may remove temporaries of this shape that a killed process left.
inline constexpr std::string_view kAtomicTemporaryMark = ".ixoral-tmp-";

// The file a KeepReplaced write to `target` replaces or creates: `target` itself unless it is a
// symbolic link, else the file the link finally names. Empty, with `failure` set, for a link
// that names nothing (no such file) or goes round in a loop (too many levels of links).
std::string FileWrittenThrough(const std::string& target, std::error_code& failure);

// Writes `bytes` to `target` atomically. The target's folder must exist. Returns false (and leaves
// the target and the folder as they were) when any step fails; `failure`, when given, then holds
// the system's error of that step (permission denied, no space left...).
bool WriteFileAtomically(const std::string& target, std::string_view bytes, TFileMode mode = TFileMode::UserDefault,
                         std::error_code* failure = nullptr);

}  // namespace ixoral

// Every output file of the archives and documents (documents, scene texts, POV-Ray scenes,
// pictures, extracted entries and textures) goes through the program's one atomic writer, after
// clearing away what killed writes left in the same folder.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "platform/AtomicFile.h"

namespace ixoral {

// Removes, from the folder of `target`, the temporaries of atomic writes (and of the older
// "name.saving-PID-N" saves) that no running writer holds any more: a save killed mid-way leaves
// one behind, and the next write to that folder takes it away. A temporary still open by a live
// writer is left alone.
void RemoveStaleTemporaries(const std::string& target);

// RemoveStaleTemporaries, then WriteFileAtomically; the previous file stays whole on failure, and
// `failure`, when given, receives the system's error of a failed write. With the default mode the
// new file has the user's usual permissions (the umask) and a link at the target is replaced,
// never followed; a document saved over passes TFileMode::KeepReplaced, and then the temporaries
// cleared are those beside the file the link names, where the write goes.
bool WriteOutputFile(const std::string& target, std::string_view bytes, std::error_code* failure = nullptr,
                     TFileMode mode = TFileMode::UserDefault);

}  // namespace ixoral

// Large buffers on large pages: the system maps memory a page of 4 KB at a time, and a buffer of
// hundreds of megabytes (an exported model, its triangles) then costs a fault per page. Asking
// for transparent huge pages over such a buffer has each fault map 2 MB instead.
#pragma once

#include <cstddef>

namespace ixoral {

// Asks the system to back the whole 2 MB blocks inside [data, data + bytes) with huge pages as
// they are first touched. A hint: nothing happens below 4 MB or where the system declines.
void AdviseLargePages(void* data, std::size_t bytes);

}  // namespace ixoral

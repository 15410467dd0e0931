#pragma once

// Internal to the writer: the pages every database starts with, written last
// as they describe the whole file.

#include "JetWriter.h"
#include "Pages.h"

namespace qm::jetwriter {

// Page 0: the version, the code page, the sort order, the creation date and
// the password, with its region from 0x18 obscured as Access does it.
void writeHeader(PageFile& file, const Options& options);

// Page 1: the database's map of free pages (those past the end of the file).
void writeGlobalMap(PageFile& file);

}  // namespace qm::jetwriter

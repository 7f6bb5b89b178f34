#pragma once
// Settings of the C library's memory allocator for the programs' work on
// large documents, made once at the start of a program.

namespace kx {

// Small freed blocks are merged with their free neighbours at once, instead
// of waiting in the allocator's fast lists for one long merging pass (at the
// end of a job on a large file that pass took a tenth of the job's time).
void TuneAllocator();

}  // namespace kx

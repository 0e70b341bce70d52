// How tarvel-cli takes its memory from the system.
#pragma once

namespace cli {

// Grows the heap once by a large step, keeps it whole for the rest of the
// process (blocks of up to 32 MB come from it, freed memory is not given
// back) and asks the kernel to back it with transparent huge pages, where
// the system offers them on request. A large network's factorisation first
// touches megabytes of fresh memory; on 4 KB pages every touch was a page
// fault, about a seventh of the whole run of a 9 000-node grid. Called first
// in main, before any other thread exists. Where the system refuses any
// step, memory is taken as before.
void keepHeapOnHugePages();

}  // namespace cli

// Where SuiteSparse (KLU, AMD) takes its memory from.
#pragma once

namespace tarvel {

// Points SuiteSparse's allocator at ours, once per process, before the first
// factorisation: blocks of a megabyte and more are mapped on their own and
// offered to the kernel for 2 MB pages. Blocks allocated before the switch
// must not be freed after it (the sparse method allocates nothing earlier).
void useLargePagesForKlu();

}  // namespace tarvel

#include "util/HeapTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace korimbo {

void MergeFreedBlocksAtOnce() {
#if defined(__GLIBC__)
    static_cast<void>(::mallopt(M_MXFAST, 0));
#endif
}

} // namespace korimbo

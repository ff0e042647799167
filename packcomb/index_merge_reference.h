// The one-by-one placement of source entries into a destination index, each found by a linear
// scan from the start and inserted by a block move: quadratic, kept as the reference that
// MergePackIndex must reproduce (tests) and outrun (benchmark). Not part of the library.
#ifndef COBBLEPAK_INDEX_MERGE_REFERENCE_H
#define COBBLEPAK_INDEX_MERGE_REFERENCE_H

#include <cstdint>
#include <vector>

#include "pack_format.h"

namespace cobblepak {

// Same contract as MergePackIndex.
void MergePackIndexOneByOne(std::vector<PackIndexEntry>& vDst,
                            const std::vector<PackIndexEntry>& vSrc, std::uint32_t uPosDelta);

}  // namespace cobblepak

#endif

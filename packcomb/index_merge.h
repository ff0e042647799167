// Merging a source pack's index entries into a destination's sorted index.
#ifndef COBBLEPAK_INDEX_MERGE_H
#define COBBLEPAK_INDEX_MERGE_H

#include <cstdint>
#include <vector>

#include "pack_format.h"

namespace cobblepak {

// Places every source entry into vDst, which must be sorted with each key once
// (IsPackIndexSorted). Each placed entry's data position is moved by uPosDelta (modulo 2^32).
// The result equals placing the source entries one by one in source order: a new key is inserted
// in key order, a key already present is replaced in place (data position and both words), so
// among equal source keys the later one wins. vSrc may be unsorted and hold duplicates; it is
// consumed. Runs in O(n + m) for n destination and m source entries (a radix sort of
// the source), with memory for one extra copy of the source.
void MergePackIndex(std::vector<PackIndexEntry>& vDst, std::vector<PackIndexEntry> vSrc,
                    std::uint32_t uPosDelta);

}  // namespace cobblepak

#endif

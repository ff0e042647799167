// Soundness check of a whole pack file, as a reader of the pack relies on it.
#ifndef COBBLEPAK_PACK_CHECK_H
#define COBBLEPAK_PACK_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "pack_format.h"

namespace cobblepak {

// Checks a pack already read: the header against the file's length (CheckPackLayout), the index
// sorted with each key once, and every data position inside the data region, from the data
// offset up to the index offset (an item may be empty at the very end). Returns true when sound;
// else false with a reason naming the first fault found.
bool CheckPack(const PackHeader& header, const std::vector<PackIndexEntry>& vIndex,
               std::int64_t nFileSize, std::string& strReason);

// Reads the pack at pszPath and checks it as above; a file that cannot be opened or read fails
// with that as the reason.
bool CheckPackFile(const char* pszPath, std::string& strReason);

// Checks the pack at pszMerged after the pack at pszSource was merged into it, nOldLength being
// its length before: it is sound (as CheckPackFile) and holds every key of the source (of equal
// keys the later entry) with the source entry's second and third words, each pointing at its own
// distance into one copy of the source's data region that lies after the old length and before
// the index. Reads headers and indexes only, never the items' bytes. Returns true when so; else
// false with a reason naming the first fault found.
bool CheckMergedPackFile(const char* pszMerged, const char* pszSource, std::int64_t nOldLength,
                         std::string& strReason);

}  // namespace cobblepak

#endif

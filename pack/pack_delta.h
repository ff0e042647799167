// What a pack file gains from one build of the game to the next, and the pack of only those
// entries that the installer's merge (Cobblepak) adds to the players' pack to make the new one.
// An item's bytes run from its data position up to the next item's position, or to the index:
// the format records no length, so bytes after an item that no entry names travel with it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pack_format.h"

// A pack as read for the comparison: its header, its index sorted by key, and for each distinct
// data position (ascending) the SHA-256 of the item there. Memory: the index and a digest per
// item; the data is streamed.
struct KPackSummary {
    cobblepak::PackHeader header;
    std::vector<cobblepak::PackIndexEntry> aIndex;
    std::vector<std::uint32_t> auPositions;
    std::vector<std::string> aDigests;
    std::int64_t llSize = 0;
};

// Reads and checks the pack at strPath (UTF-8) as the installer checks one (header, sorted
// index, every entry in its data region) and digests its items. false with *pstrReason when
// the file is no sound pack or cannot be read.
bool ReadPackSummary(const std::string& strPath, KPackSummary* pPack, std::string* pstrReason);

// The entries of the new pack that the old one lacks or holds otherwise (another second or
// third word, other bytes), in key order; and how many of each kind, and of the old pack's
// entries that the new one lacks. An entry whose words are the same and whose item only runs
// longer in one pack (a merge left unreferenced bytes behind it) is the same when the shorter
// run's bytes begin the longer: a reader finds an item's length in its entry, not in the
// unreferenced bytes. Those few items are read again from strOld and strNew; false with
// *pstrError when that fails.
struct KPackDelta {
    std::vector<cobblepak::PackIndexEntry> aShipped;
    size_t uAdded = 0;
    size_t uChanged = 0;
    size_t uRemoved = 0;
    // The header's words a merge keeps from the target (the first, the last 16 bytes) differ.
    bool bHeaderDiffers = false;
    std::int64_t llDataBytes = 0;  // item bytes the delta pack carries
    // What writing the delta needs of the new pack, so that its summary can go: its header and
    // the shipped items' byte ranges [first, second), ascending.
    cobblepak::PackHeader header;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> aItems;
};
bool ComparePacks(const std::string& strOld, const KPackSummary& oldPack, const std::string& strNew,
                  const KPackSummary& newPack, KPackDelta* pDelta, std::string* pstrError);

// The length of the pack WritePackDelta writes, and of the target after the merge.
std::int64_t PackDeltaSize(const KPackDelta& delta);
std::int64_t MergedPackSize(const KPackSummary& oldPack, const KPackDelta& delta);

// Writes to strOut (UTF-8, a new file) a pack of the shipped entries: the new pack's header
// words, its data region right after the header holding each shipped item's bytes copied from
// strNew (the new pack the delta was found in), the index after it. false with *pstrError when a
// read or a write fails (strOut is then removed).
bool WritePackDelta(const std::string& strNew, const KPackDelta& delta, const std::string& strOut,
                    std::string* pstrError);

#include "pack_check.h"

#include <algorithm>
#include <cstddef>

#include "pack_file.h"

namespace cobblepak {

bool CheckPack(const PackHeader& header, const std::vector<PackIndexEntry>& vIndex,
               std::int64_t nFileSize, std::string& strReason)
{
    if (const char* pszLayout = CheckPackLayout(header, nFileSize)) {
        strReason = pszLayout;
        return false;
    }
    if (vIndex.size() != header.uEntryCount) {
        strReason = "index holds " + std::to_string(vIndex.size()) + " entries, header says " +
                    std::to_string(header.uEntryCount);
        return false;
    }
    for (std::size_t i = 0; i < vIndex.size(); ++i) {
        const PackIndexEntry& entry = vIndex[i];
        if (i > 0 && vIndex[i - 1].uKey >= entry.uKey) {
            strReason = "entry " + std::to_string(i) + " (key " + std::to_string(entry.uKey) +
                        ") is not above the key before it";
            return false;
        }
        if (!IsInDataRegion(header, entry.uDataPos)) {
            strReason = "entry " + std::to_string(i) + " (key " + std::to_string(entry.uKey) +
                        ") has data position " + std::to_string(entry.uDataPos) +
                        " outside the data region";
            return false;
        }
    }
    return true;
}

namespace {

// Reads the pack at pszPath and checks its header against the file (CheckPackLayout).
bool s_ReadPack(const char* pszPath, PackHeader& header, std::vector<PackIndexEntry>& vIndex,
                std::int64_t& nSize, std::string& strReason)
{
    KPackFile file;
    if (!file.Open(pszPath, "rb")) {
        strReason = "cannot open the file";
        return false;
    }
    if (!file.Size(nSize)) {
        strReason = "cannot find the file's length";
        return false;
    }
    if (nSize < static_cast<std::int64_t>(kPackHeaderSize)) {
        strReason = CheckPackLayout(PackHeader(), nSize);
        return false;
    }
    if (!ReadPackHeader(file, header)) {
        strReason = "cannot read the header";
        return false;
    }
    if (const char* pszLayout = CheckPackLayout(header, nSize)) {
        strReason = pszLayout;
        return false;
    }
    if (!ReadPackIndex(file, header, vIndex)) {
        strReason = "cannot read the index";
        return false;
    }
    return true;
}

std::string s_KeyText(std::uint32_t uKey)
{
    return "key " + std::to_string(uKey) + " of the source";
}

}  // namespace

bool CheckPackFile(const char* pszPath, std::string& strReason)
{
    PackHeader header;
    std::vector<PackIndexEntry> vIndex;
    std::int64_t nSize = 0;
    return s_ReadPack(pszPath, header, vIndex, nSize, strReason) &&
           CheckPack(header, vIndex, nSize, strReason);
}

bool CheckMergedPackFile(const char* pszMerged, const char* pszSource, std::int64_t nOldLength,
                         std::string& strReason)
{
    PackHeader merged, source;
    std::vector<PackIndexEntry> vMerged, vSource;
    std::int64_t nMergedSize = 0, nSourceSize = 0;
    if (!s_ReadPack(pszMerged, merged, vMerged, nMergedSize, strReason) ||
        !CheckPack(merged, vMerged, nMergedSize, strReason))
        return false;
    if (!s_ReadPack(pszSource, source, vSource, nSourceSize, strReason)) {
        strReason = "source: " + strReason;
        return false;
    }
    // Equal keys keep their order, so the last of each run is the entry that wins. A source is
    // mostly sorted already, and then costs no sort.
    auto fnByKey = [](const PackIndexEntry& a, const PackIndexEntry& b) { return a.uKey < b.uKey; };
    if (!std::is_sorted(vSource.begin(), vSource.end(), fnByKey))
        std::stable_sort(vSource.begin(), vSource.end(), fnByKey);
    bool bCopyFound = false;
    std::uint32_t uCopyAt = 0;  // where the copy of the source's data region begins
    for (std::size_t i = 0; i < vSource.size(); ++i) {
        const PackIndexEntry& entry = vSource[i];
        if (i + 1 < vSource.size() && vSource[i + 1].uKey == entry.uKey)
            continue;
        if (!IsInDataRegion(source, entry.uDataPos)) {
            strReason = s_KeyText(entry.uKey) + " lies outside the source's data region";
            return false;
        }
        auto it = std::lower_bound(
            vMerged.begin(), vMerged.end(), entry.uKey,
            [](const PackIndexEntry& one, std::uint32_t uKey) { return one.uKey < uKey; });
        if (it == vMerged.end() || it->uKey != entry.uKey) {
            strReason = s_KeyText(entry.uKey) + " is missing";
            return false;
        }
        if (it->uWord2 != entry.uWord2 || it->uWord3 != entry.uWord3) {
            strReason = s_KeyText(entry.uKey) + " has other words than the source's";
            return false;
        }
        // Modulo 2^32 like the positions; the range check below rejects any wrap.
        std::uint32_t uAt = it->uDataPos - (entry.uDataPos - source.uDataOffset);
        if (bCopyFound && uAt != uCopyAt) {
            strReason = s_KeyText(entry.uKey) + " points outside the copy the keys before it point into";
            return false;
        }
        bCopyFound = true;
        uCopyAt = uAt;
    }
    const std::int64_t nCopyEnd = static_cast<std::int64_t>(uCopyAt) + source.uIndexOffset - source.uDataOffset;
    if (bCopyFound && (uCopyAt < nOldLength || nCopyEnd > merged.uIndexOffset)) {
        strReason = "the source's data does not lie between the pack's old end and its index";
        return false;
    }
    return true;
}

}  // namespace cobblepak

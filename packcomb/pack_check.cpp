#include "pack_check.h"

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

bool CheckPackFile(const char* pszPath, std::string& strReason)
{
    KPackFile file;
    std::int64_t nSize = 0;
    PackHeader header;
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
    std::vector<PackIndexEntry> vIndex;
    if (!ReadPackIndex(file, header, vIndex)) {
        strReason = "cannot read the index";
        return false;
    }
    return CheckPack(header, vIndex, nSize, strReason);
}

}  // namespace cobblepak

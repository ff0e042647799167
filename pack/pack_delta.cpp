#include "pack/pack_delta.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/sha256.h"
#include "pack/pack_platform.h"
#include "pack_check.h"

using namespace cobblepak;

namespace {

typedef std::unique_ptr<std::FILE, int (*)(std::FILE*)> KStream;

KStream s_Open(const std::string& strPath, const char* pszMode) {
    return KStream(OpenFileStream(strPath, pszMode), &std::fclose);
}

// Positions fit a signed 32-bit offset (kPackMaxFileSize), so a `long` carries them everywhere.
bool s_Seek(std::FILE* pFile, std::int64_t llPos) {
    return llPos >= 0 && llPos <= kPackMaxFileSize && std::fseek(pFile, static_cast<long>(llPos), SEEK_SET) == 0;
}

bool s_Read(std::FILE* pFile, void* pBuffer, size_t uBytes) {
    return std::fread(pBuffer, 1, uBytes, pFile) == uBytes;
}

// The item at position uPos of a pack: the index of its distinct position.
size_t s_Item(const KPackSummary& pack, std::uint32_t uPos) {
    return static_cast<size_t>(std::lower_bound(pack.auPositions.begin(), pack.auPositions.end(), uPos) -
                               pack.auPositions.begin());
}

// The end of the item at distinct position i: the next position, or the index.
std::uint32_t s_ItemEnd(const KPackSummary& pack, size_t i) {
    return i + 1 < pack.auPositions.size() ? pack.auPositions[i + 1] : pack.header.uIndexOffset;
}

// Calls pfnChunk for the bytes of each range in turn, streamed in pieces of 1 MiB.
template <typename F>
bool s_StreamItems(std::FILE* pFile, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& aItems, F pfnChunk) {
    static const size_t s_uChunk = 1u << 20;
    std::vector<char> buffer(s_uChunk);
    std::int64_t llAt = -1;
    for (size_t i = 0; i < aItems.size(); ++i) {
        std::int64_t llFrom = aItems[i].first, llEnd = aItems[i].second;
        if (llAt != llFrom && !s_Seek(pFile, llFrom))
            return false;
        for (std::int64_t llPos = llFrom; llPos < llEnd;) {
            size_t uBytes = static_cast<size_t>(std::min<std::int64_t>(s_uChunk, llEnd - llPos));
            if (!s_Read(pFile, buffer.data(), uBytes) || !pfnChunk(i, buffer.data(), uBytes))
                return false;
            llPos += static_cast<std::int64_t>(uBytes);
        }
        llAt = llEnd;
    }
    return true;
}

// Whether uLength bytes at uOne in one file equal those at uOther in the other.
bool s_SameRun(std::FILE* pOne, std::uint32_t uOne, std::FILE* pOther, std::uint32_t uOther, std::uint32_t uLength,
               bool* pbSame) {
    std::vector<char> aOne(1u << 16), aOther(1u << 16);
    *pbSame = true;
    if (!s_Seek(pOne, uOne) || !s_Seek(pOther, uOther))
        return false;
    for (std::uint32_t uDone = 0; uDone < uLength && *pbSame;) {
        size_t uBytes = std::min<size_t>(aOne.size(), uLength - uDone);
        if (!s_Read(pOne, aOne.data(), uBytes) || !s_Read(pOther, aOther.data(), uBytes))
            return false;
        *pbSame = std::memcmp(aOne.data(), aOther.data(), uBytes) == 0;
        uDone += static_cast<std::uint32_t>(uBytes);
    }
    return true;
}

}  // namespace

bool ReadPackSummary(const std::string& strPath, KPackSummary* pPack, std::string* pstrReason) {
    *pPack = KPackSummary();
    KStream file = s_Open(strPath, "rb");
    if (!file) {
        *pstrReason = "cannot be opened";
        return false;
    }
    long lSize = 0;
    if (std::fseek(file.get(), 0, SEEK_END) != 0 || (lSize = std::ftell(file.get())) < 0) {
        *pstrReason = "its length cannot be read (or passes 2 GiB)";
        return false;
    }
    pPack->llSize = lSize;
    std::uint8_t abyHeader[kPackHeaderSize];
    if (lSize < static_cast<long>(kPackHeaderSize) || !s_Seek(file.get(), 0) ||
        !s_Read(file.get(), abyHeader, sizeof(abyHeader))) {
        *pstrReason = "shorter than a pack header";
        return false;
    }
    pPack->header = DecodePackHeader(abyHeader);
    if (const char* pszLayout = CheckPackLayout(pPack->header, pPack->llSize)) {
        *pstrReason = pszLayout;
        return false;
    }
    // The layout check bounds the count by the file's length.
    if (!s_Seek(file.get(), pPack->header.uIndexOffset)) {
        *pstrReason = "cannot read the index";
        return false;
    }
    pPack->aIndex.reserve(pPack->header.uEntryCount);
    std::uint8_t abyEntry[kPackIndexEntrySize];
    for (std::uint32_t u = 0; u < pPack->header.uEntryCount; ++u) {
        if (!s_Read(file.get(), abyEntry, sizeof(abyEntry))) {
            *pstrReason = "cannot read the index";
            return false;
        }
        pPack->aIndex.push_back(DecodePackIndexEntry(abyEntry));
    }
    if (!CheckPack(pPack->header, pPack->aIndex, pPack->llSize, *pstrReason))
        return false;

    for (const PackIndexEntry& entry : pPack->aIndex)
        pPack->auPositions.push_back(entry.uDataPos);
    std::sort(pPack->auPositions.begin(), pPack->auPositions.end());
    pPack->auPositions.erase(std::unique(pPack->auPositions.begin(), pPack->auPositions.end()),
                             pPack->auPositions.end());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> aItems;
    for (size_t i = 0; i < pPack->auPositions.size(); ++i)
        aItems.emplace_back(pPack->auPositions[i], s_ItemEnd(*pPack, i));
    pPack->aDigests.resize(aItems.size());
    std::unique_ptr<KSha256> digest;
    size_t uCurrent = 0;
    // One pass from the first item to the index; each item's digest ends where the next begins.
    auto finish = [&]() {
        if (digest)
            pPack->aDigests[uCurrent] = digest->FinishHex();
        digest.reset();
    };
    bool bRead = s_StreamItems(file.get(), aItems, [&](size_t i, const char* pData, size_t uBytes) {
        if (!digest || i != uCurrent) {
            finish();
            digest.reset(new KSha256);
            uCurrent = i;
        }
        return digest->Update(pData, uBytes);
    });
    finish();
    // Empty items took no bytes: their digest is that of nothing.
    for (size_t i = 0; bRead && i < aItems.size(); ++i) {
        if (pPack->aDigests[i].empty() && aItems[i].first == aItems[i].second)
            pPack->aDigests[i] = KSha256().FinishHex();
        bRead = !pPack->aDigests[i].empty();
    }
    if (!bRead) {
        *pstrReason = "cannot read its data";
        return false;
    }
    return true;
}

bool ComparePacks(const std::string& strOld, const KPackSummary& oldPack, const std::string& strNew,
                  const KPackSummary& newPack, KPackDelta* pDelta, std::string* pstrError) {
    KPackDelta& delta = *pDelta;
    delta = KPackDelta();
    KStream oldFile(nullptr, &std::fclose), newFile(nullptr, &std::fclose);
    delta.bHeaderDiffers = oldPack.header.uFirstWord != newPack.header.uFirstWord ||
                           std::memcmp(oldPack.header.abyRest, newPack.header.abyRest, sizeof(oldPack.header.abyRest)) != 0;
    // Both indexes are sorted by key, each key once: one walk through both.
    size_t uOld = 0;
    for (const PackIndexEntry& entry : newPack.aIndex) {
        while (uOld < oldPack.aIndex.size() && oldPack.aIndex[uOld].uKey < entry.uKey) {
            ++delta.uRemoved;
            ++uOld;
        }
        if (uOld == oldPack.aIndex.size() || oldPack.aIndex[uOld].uKey != entry.uKey) {
            ++delta.uAdded;
            delta.aShipped.push_back(entry);
            continue;
        }
        const PackIndexEntry& old = oldPack.aIndex[uOld++];
        size_t uOldItem = s_Item(oldPack, old.uDataPos), uNewItem = s_Item(newPack, entry.uDataPos);
        bool bSame = old.uWord2 == entry.uWord2 && old.uWord3 == entry.uWord3;
        if (bSame && oldPack.aDigests[uOldItem] != newPack.aDigests[uNewItem]) {
            std::uint32_t uOldLength = s_ItemEnd(oldPack, uOldItem) - old.uDataPos;
            std::uint32_t uNewLength = s_ItemEnd(newPack, uNewItem) - entry.uDataPos;
            bSame = uOldLength != uNewLength;
            if (bSame) {
                if (!oldFile)
                    oldFile = s_Open(strOld, "rb");
                if (!newFile)
                    newFile = s_Open(strNew, "rb");
                std::uint32_t uLength = std::min(uOldLength, uNewLength);
                if (!oldFile || !newFile || !s_SameRun(oldFile.get(), old.uDataPos, newFile.get(), entry.uDataPos, uLength, &bSame)) {
                    *pstrError = "cannot read its data again";
                    return false;
                }
            }
        }
        if (!bSame) {
            ++delta.uChanged;
            delta.aShipped.push_back(entry);
        }
    }
    delta.uRemoved += oldPack.aIndex.size() - uOld;
    // The shipped items in position order; entries that share an item share its copy.
    std::vector<size_t> aItems;
    for (const PackIndexEntry& entry : delta.aShipped)
        aItems.push_back(s_Item(newPack, entry.uDataPos));
    std::sort(aItems.begin(), aItems.end());
    aItems.erase(std::unique(aItems.begin(), aItems.end()), aItems.end());
    delta.header = newPack.header;
    for (size_t i : aItems) {
        delta.aItems.emplace_back(newPack.auPositions[i], s_ItemEnd(newPack, i));
        delta.llDataBytes += s_ItemEnd(newPack, i) - newPack.auPositions[i];
    }
    return true;
}

std::int64_t PackDeltaSize(const KPackDelta& delta) {
    return static_cast<std::int64_t>(kPackHeaderSize) + delta.llDataBytes +
           static_cast<std::int64_t>(delta.aShipped.size() * kPackIndexEntrySize);
}

std::int64_t MergedPackSize(const KPackSummary& oldPack, const KPackDelta& delta) {
    // The merge appends the delta's data and then the whole merged index.
    std::int64_t llEntries = static_cast<std::int64_t>(oldPack.aIndex.size() + delta.uAdded);
    return oldPack.llSize + delta.llDataBytes + llEntries * static_cast<std::int64_t>(kPackIndexEntrySize);
}

bool WritePackDelta(const std::string& strNew, const KPackDelta& delta, const std::string& strOut,
                    std::string* pstrError) {
    // Each item's place in the delta: the items back to back from the header on.
    std::vector<std::uint32_t> auPlaced(delta.aItems.size());
    std::int64_t llAt = kPackHeaderSize;
    for (size_t i = 0; i < delta.aItems.size(); ++i) {
        auPlaced[i] = static_cast<std::uint32_t>(llAt);
        llAt += delta.aItems[i].second - delta.aItems[i].first;
    }
    PackHeader header = delta.header;
    header.uEntryCount = static_cast<std::uint32_t>(delta.aShipped.size());
    header.uDataOffset = kPackHeaderSize;
    header.uIndexOffset = static_cast<std::uint32_t>(llAt);
    std::vector<std::uint8_t> vIndex;
    for (PackIndexEntry entry : delta.aShipped) {
        auto found = std::lower_bound(delta.aItems.begin(), delta.aItems.end(), std::make_pair(entry.uDataPos, std::uint32_t(0)));
        entry.uDataPos = auPlaced[static_cast<size_t>(found - delta.aItems.begin())];
        std::uint8_t abyEntry[kPackIndexEntrySize];
        EncodePackIndexEntry(entry, abyEntry);
        vIndex.insert(vIndex.end(), abyEntry, abyEntry + sizeof(abyEntry));
    }

    KStream in = s_Open(strNew, "rb");
    std::FILE* pOut = OpenFileStream(strOut, "wb");
    bool bOk = in && pOut;
    std::uint8_t abyHeader[kPackHeaderSize];
    EncodePackHeader(header, abyHeader);
    bOk = bOk && std::fwrite(abyHeader, 1, sizeof(abyHeader), pOut) == sizeof(abyHeader);
    bOk = bOk && s_StreamItems(in.get(), delta.aItems, [&](size_t, const char* pData, size_t uBytes) {
              return std::fwrite(pData, 1, uBytes, pOut) == uBytes;
          });
    bOk = bOk && std::fwrite(vIndex.data(), 1, vIndex.size(), pOut) == vIndex.size();
    if (pOut)
        bOk = std::fclose(pOut) == 0 && bOk;
    if (!bOk) {
        if (pOut)
            RemovePath(strOut, false);
        *pstrError = in ? "cannot be written" : "cannot be read again";
    }
    return bOk;
}

// libFuzzer target: PackComb on two fuzzed pack files, checked against an independent model of
// the merge. Built and run for a bounded time by scripts/fuzz-packcomb, not by CTest.
// Input: 2 bytes (little-endian) choosing where the destination ends, then the destination's
// bytes, then the source's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "index_merge_reference.h"
#include "pack_check.h"
#include "pack_format.h"
#include "packcomb.h"

using namespace cobblepak;

namespace {

typedef std::vector<std::uint8_t> Bytes;

std::string s_strDst;
std::string s_strSrc;

void s_Require(bool bCondition, const char* pszWhat)
{
    if (!bCondition) {
        std::fprintf(stderr, "pack_merge_fuzz: %s\n", pszWhat);
        std::abort();
    }
}

void s_Write(const std::string& strPath, const Bytes& vBytes)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    s_Require(pFile != nullptr, "cannot create a scratch file");
    s_Require(vBytes.empty() || std::fwrite(vBytes.data(), 1, vBytes.size(), pFile) == vBytes.size(),
              "cannot write a scratch file");
    std::fclose(pFile);
}

Bytes s_Read(const std::string& strPath)
{
    Bytes vBytes;
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    s_Require(pFile != nullptr, "cannot open a scratch file");
    std::uint8_t abyChunk[4096];
    std::size_t nRead;
    while ((nRead = std::fread(abyChunk, 1, sizeof abyChunk, pFile)) > 0)
        vBytes.insert(vBytes.end(), abyChunk, abyChunk + nRead);
    std::fclose(pFile);
    return vBytes;
}

// A pack as the model sees it: header and index decoded from memory, when the header fits.
struct Model {
    bool bLayoutOk = false;
    PackHeader header = PackHeader();
    std::vector<PackIndexEntry> vIndex;
};

Model s_Decode(const Bytes& vPack)
{
    Model model;
    if (vPack.size() < kPackHeaderSize)
        return model;
    model.header = DecodePackHeader(vPack.data());
    model.bLayoutOk = CheckPackLayout(model.header, static_cast<std::int64_t>(vPack.size())) == nullptr;
    if (model.bLayoutOk) {
        for (std::uint32_t i = 0; i < model.header.uEntryCount; ++i) {
            model.vIndex.push_back(DecodePackIndexEntry(
                &vPack[model.header.uIndexOffset + static_cast<std::size_t>(i) * kPackIndexEntrySize]));
        }
    }
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* pszBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string strPrefix = std::string(pszBase) + "/cobblepak-fuzz-" + std::to_string(getpid());
    s_strDst = strPrefix + "-dst.pak";
    s_strSrc = strPrefix + "-src.pak";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize < 2)
        return 0;
    const std::size_t nRest = nSize - 2;
    const std::size_t nSplit = (pData[0] | (pData[1] << 8)) % (nRest + 1);
    const Bytes vDst(pData + 2, pData + 2 + nSplit);
    const Bytes vSrc(pData + 2 + nSplit, pData + nSize);
    s_Write(s_strDst, vDst);
    s_Write(s_strSrc, vSrc);

    const int nResult = PackComb(s_strDst.c_str(), s_strSrc.c_str());
    const Bytes vAfter = s_Read(s_strDst);
    s_Require(s_Read(s_strSrc) == vSrc, "the source was written");
    s_Require(nResult == S_OK || nResult == E_INVALIDARG, "result is neither S_OK nor E_INVALIDARG");

    const Model dst = s_Decode(vDst);
    const Model src = s_Decode(vSrc);
    std::string strReason;
    bool bSrcInside = true;
    for (const PackIndexEntry& entry : src.vIndex)
        bSrcInside = bSrcInside && IsInDataRegion(src.header, entry.uDataPos);
    const bool bDstSound =
        CheckPack(dst.header, dst.vIndex, static_cast<std::int64_t>(vDst.size()), strReason);
    const bool bRefuse = !dst.bLayoutOk || !src.bLayoutOk ||
                         (src.header.uEntryCount > 0 && (!bDstSound || !bSrcInside));
    if (bRefuse || nResult != S_OK) {
        // Nothing can fail here but the checks, so a refusal must have a reason and leave the
        // destination as it was.
        s_Require(bRefuse, "a sound merge was refused");
        s_Require(nResult == E_INVALIDARG, "a damaged pack was merged");
        s_Require(vAfter == vDst, "a refused merge changed the destination");
        return 0;
    }
    if (src.header.uEntryCount == 0) {
        s_Require(vAfter == vDst, "a source without entries changed the destination");
        return 0;
    }

    // The expected file: the old bytes with two header fields changed, the source's data region,
    // and the index of the one-by-one placement.
    const std::uint32_t uBase = static_cast<std::uint32_t>(vDst.size());
    std::vector<PackIndexEntry> vIndex = dst.vIndex;
    MergePackIndexOneByOne(vIndex, src.vIndex, uBase - src.header.uDataOffset);
    Bytes vExpected = vDst;
    vExpected.insert(vExpected.end(), vSrc.begin() + src.header.uDataOffset,
                     vSrc.begin() + src.header.uIndexOffset);
    PackHeader header = dst.header;
    header.uEntryCount = static_cast<std::uint32_t>(vIndex.size());
    header.uIndexOffset = static_cast<std::uint32_t>(vExpected.size());
    EncodePackHeader(header, vExpected.data());
    EncodePackIndex(vIndex.data(), vIndex.size(), vExpected);
    s_Require(vAfter == vExpected, "the merged file differs from the model");

    // Only a sound destination and a source whose positions lie in its data region are merged,
    // and every moved position lands inside the new data region.
    s_Require(CheckPack(header, vIndex, static_cast<std::int64_t>(vAfter.size()), strReason),
              "a merge gave an unsound pack");
    return 0;
}

// packtool: merge, list and verify pack files from the command line.
//   packtool merge DST SRC   merge SRC into DST in place (PackComb)
//   packtool list PACK       print the header fields and the index
//   packtool verify PACK     check that a reader can rely on the pack
// Exit code 0 on success (or a sound pack), 1 on failure with the reason on stderr, 2 for a
// wrong command line.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pack_check.h"
#include "pack_file.h"
#include "pack_format.h"
#include "packcomb.h"

using namespace cobblepak;

namespace {

int s_Usage()
{
    std::fprintf(stderr,
                 "usage: packtool merge DST SRC\n"
                 "       packtool list PACK\n"
                 "       packtool verify PACK\n");
    return 2;
}

int s_Merge(const char* pszDst, const char* pszSrc)
{
    int nResult = PackComb(pszDst, pszSrc);
    if (nResult != S_OK) {
        std::fprintf(stderr, "packtool: merge of %s into %s failed (0x%08" PRIX32 ")\n", pszSrc,
                     pszDst, static_cast<std::uint32_t>(nResult));
        return 1;
    }
    return 0;
}

int s_List(const char* pszPack)
{
    KPackFile file;
    std::int64_t nSize = 0;
    PackHeader header;
    if (!file.Open(pszPack, "rb") || !file.Size(nSize) ||
        nSize < static_cast<std::int64_t>(kPackHeaderSize) || !ReadPackHeader(file, header)) {
        std::fprintf(stderr, "packtool: %s: cannot read a pack header\n", pszPack);
        return 1;
    }
    std::printf("file size     %" PRId64 "\n", nSize);
    std::printf("first word    0x%08" PRIX32 "\n", header.uFirstWord);
    std::printf("entry count   %" PRIu32 "\n", header.uEntryCount);
    std::printf("index offset  %" PRIu32 "\n", header.uIndexOffset);
    std::printf("data offset   %" PRIu32 "\n", header.uDataOffset);
    std::printf("header rest  ");
    for (std::uint8_t byValue : header.abyRest)
        std::printf(" %02X", static_cast<unsigned>(byValue));
    std::printf("\n");
    // The index is only read when it lies inside the file; a damaged header is still shown.
    if (const char* pszReason = CheckPackLayout(header, nSize)) {
        std::fprintf(stderr, "packtool: %s: %s\n", pszPack, pszReason);
        return 1;
    }
    std::vector<PackIndexEntry> vIndex;
    if (!ReadPackIndex(file, header, vIndex)) {
        std::fprintf(stderr, "packtool: %s: cannot read the index\n", pszPack);
        return 1;
    }
    std::printf("%10s %10s %10s %10s\n", "key", "position", "word2", "word3");
    for (const PackIndexEntry& entry : vIndex) {
        std::printf("%10" PRIu32 " %10" PRIu32 " 0x%08" PRIX32 " 0x%08" PRIX32 "\n", entry.uKey,
                    entry.uDataPos, entry.uWord2, entry.uWord3);
    }
    return 0;
}

int s_Verify(const char* pszPack)
{
    std::string strReason;
    if (!CheckPackFile(pszPack, strReason)) {
        std::fprintf(stderr, "packtool: %s: %s\n", pszPack, strReason.c_str());
        return 1;
    }
    std::printf("%s: sound\n", pszPack);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "merge") == 0)
        return s_Merge(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "list") == 0)
        return s_List(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "verify") == 0)
        return s_Verify(argv[2]);
    return s_Usage();
}

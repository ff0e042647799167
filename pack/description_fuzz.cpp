// libFuzzer target: the reading of Update.dat that the installer and mendwright-pack share (the
// encoding, the parse with its nesting guard, each File, version and pack) and the name rules over
// what it read. Built and run for a bounded time by scripts/fuzz-description, not by CTest.
// Besides sanitizer findings, it stops on a description make would write that reads back other
// than written: names every rule passes must survive DescriptionText and ReadDescription.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "pack/package_description.h"
#include "pack/package_merges.h"
#include "pack/package_names.h"

namespace {

void s_Require(bool bCondition, const char* pszWhat) {
    if (!bCondition) {
        std::fprintf(stderr, "description_fuzz: %s\n", pszWhat);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uSize) {
    KDescription description;
    std::string strError;
    if (!ReadDescription(std::string(reinterpret_cast<const char*>(pData), uSize), &description, &strError))
        return 0;

    const std::string strGame = AssumedGamePath(0);
    std::vector<std::string> aProblems;
    CheckPackTargets(description.aMerges, description.aFiles, &aProblems);
    bool bAllSound = description.strFault.empty();
    for (const KListedFile& file : description.aFiles) {
        std::vector<std::string> aParts;
        bool bSound = file.bNamePresent && !file.strFileName.empty() && CheckPackedName(strGame, file) == PACKAGE_FILE_OK &&
                      TreePartsOf(file, &aParts) && (!file.bSha256Present || IsSha256Text(file.strSha256.c_str()));
        ShownName(file);
        PackagePathKey(file.strFilePath + file.strFileName);
        TreeKey(aParts);
        bAllSound = bAllSound && bSound;
    }

    // What make writes for names every rule passes reads back the same.
    std::string strGbk;
    if (!bAllSound || !GbkFromUtf8(DescriptionText(description.strTitle, description.aFiles), &strGbk))
        return 0;
    KDescription again;
    s_Require(ReadDescription(strGbk, &again, &strError), "make's description is not read back");
    s_Require(again.aFiles.size() == description.aFiles.size(), "make's description lists other files");
    for (size_t i = 0; i < again.aFiles.size(); ++i) {
        const KListedFile& one = description.aFiles[i];
        const KListedFile& two = again.aFiles[i];
        s_Require(one.strFilePath == two.strFilePath && one.strFileName == two.strFileName && one.strSha256 == two.strSha256,
                  "a File reads back other than make wrote it");
    }
    return 0;
}

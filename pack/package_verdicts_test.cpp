// mendwright-pack check held against the installer on seeded mutations of the sample package
// (pack/description_mutator.h), the installer judging a sound copy of the sample game: a package
// check passes, the installer accepts; a package the installer refuses, check reports with the
// installer's reason; where check refuses what the installer accepts, it is only for what check
// reports by design (files not listed, listed twice, names ending in a dot or a space).
// Check is given the same game folder. The installer's side is Init's load of the description,
// the version check, the install plan, and each copied file's FileSha256, which the copy checks as it copies: a digest that does not match fails the
// installation as surely as a refused name, and check promises to find it.
// MW_VERDICT_SEEDS=FIRST:COUNT runs other seeds (scripts/fuzz-description).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/ansi_text.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "install/install_transaction.h"
#include "install/package_packs.h"
#include "install/version_check.h"
#include "pack/description_mutator.h"
#include "pack/pack_platform.h"
#include "pack/package_check.h"
#include "tests/recording_output.h"
#include "tests/test_support.h"
#include "xml/xml_document.h"

namespace {

// The installer's refusals, and the words of check's lines that report each; check is given the
// game folder the installer judges.
struct KReason {
    int nTextId;  // the installer's line; 0: none, the package is accepted
    std::vector<const char*> apszCheckWords;
};
const KReason s_aReasons[] = {
    {IDS_DESCRIPTION_FAULTY, {"the installer cannot use it", "takes the description as faulty"}},
    {IDS_COPY_FAILED, {"lists no File"}},
    {IDS_COPY_ERR_NUMBER, {"(the installer stops with error %d)"}},
    {IDS_DIGEST_MALFORMED, {"FileSha256 is not 64 hex digits"}},
    {IDS_SOURCE_MISSING, {"listed but not in the package", "not a plain file", "the Source is missing", "not UTF-8 text"}},
    {IDS_PACK_SOURCE_DAMAGED, {"the Source is not a sound pack", "differs from its SourceSha256"}},
    {IDS_COBBLEPAK_MISSING, {"Cobblepak.dll: missing"}},
    {IDS_COPY_ERR_DIGEST, {"differs from its FileSha256"}},
    {IDS_PACK_TARGET_DAMAGED, {"not a file of the game folder", "not a sound pack in the game folder"}},
    {IDS_COPY_ERR_FOLDER, {"a folder of the game folder stands where it goes"}},
    {IDS_VERSION_FILE_MISSING, {"names no version of it", "not a version number", GAME_VERSION_FILE " of the game folder"}},
    {IDS_PACKAGE_OLDER, {"newer than the package's"}},
    {IDS_GAME_TOO_OLD, {"older than BaseVersion"}},
    {IDS_VERSION_MISMATCH, {"not BaseVersion"}},
};
// What check reports beyond the installer's refusals, by design (the installer asks about the
// same version again; the player here says yes).
const char* const s_apszStricter[] = {"in the package but not listed", "listed twice", "a name ending in a dot or a space",
                                      "the installer asks the player whether to install it again"};

// True when strLine is the catalogue text nTextId with its %s and %d filled in; *pnNumber gets
// the number of a %d.
bool s_IsLine(const std::string& strLine, int nTextId, int* pnNumber) {
    const std::string strFormat = GetString(nTextId);
    if (strFormat.find('%') == std::string::npos)
        return strLine == strFormat;
    // The literal pieces between the conversions, in order: the first begins the line, the last
    // ends it.
    size_t uAt = 0;
    for (size_t uFrom = 0;;) {
        size_t uPercent = strFormat.find('%', uFrom);
        std::string strPiece = strFormat.substr(uFrom, uPercent == std::string::npos ? uPercent : uPercent - uFrom);
        size_t uFound = uFrom == 0 ? (strLine.compare(0, strPiece.size(), strPiece) == 0 ? 0 : std::string::npos)
                        : uPercent != std::string::npos ? strLine.find(strPiece, uAt)
                        : strLine.size() >= uAt + strPiece.size() &&
                                  strLine.compare(strLine.size() - strPiece.size(), strPiece.size(), strPiece) == 0
                            ? strLine.size() - strPiece.size()
                            : std::string::npos;
        if (uFound == std::string::npos)
            return false;
        if (uFrom > 0 && strFormat[uFrom - 1] == 'd')
            *pnNumber = std::atoi(strLine.c_str() + uAt);
        if (uPercent == std::string::npos)
            return true;
        uAt = uFound + strPiece.size();
        uFrom = uPercent + 2;
    }
}

// The installer's verdict: null when it accepts the package, else the reason, with *pstrLine the
// line it reported and *pnCode the number in it.
const KReason* s_Installer(const std::string& strPackage, const std::string& strGame, std::string* pstrLine, int* pnCode) {
    mwtest::KRecordingOutput output;
    KUpdateInstaller installer;
    installer.m_pMsgOutput = &output;
    KInstallPlan plan;
    // The version check runs first, as in the Update command: its first refusal is the line.
    std::vector<KPackageVersion> aVersions;
    std::string strFault;
    bool bLoaded = installer.LoadDescription((strPackage + "\\Update.dat").c_str()) != 0;
    if (bLoaded && ReadPackageVersions(installer.m_pXmlDoc->GetRootElement("Root"), &aVersions, &strFault)) {
        for (int nVerdict : JudgeGameVersions(strGame, aVersions)) {
            if (nVerdict != KVERSION_FITS && nVerdict != KVERSION_SAME) {
                output.m_Lines.push_back(GetString(VersionVerdictText(nVerdict)));
                bLoaded = false;
                break;
            }
        }
    }
    if (bLoaded &&
        MakeInstallPlan(installer.m_pXmlDoc->GetRootElement("Root"), strGame, strPackage, &output, &plan)) {
        for (const KPlanFile& file : plan.aFiles) {
            std::string strDigest;
            std::string strSource = strPackage + "\\" + file.strFilePath + file.strFileName;
            if (!file.strSha256.empty() && (!FileDigestHex(strSource, &strDigest) || strDigest != file.strSha256)) {
                output.m_Lines.push_back(GetString(IDS_COPY_ERR_DIGEST));
                break;
            }
        }
        if (output.m_Lines.empty())
            return nullptr;
    }
    *pstrLine = output.m_Lines.empty() ? std::string() : output.m_Lines.back();
    for (const KReason& reason : s_aReasons) {
        if (s_IsLine(*pstrLine, reason.nTextId, pnCode))
            return &reason;
    }
    return &s_aReasons[0];  // any other line: the test reports it below as unknown
}

bool s_Says(const std::string& strLine, const char* pszWords, int nCode) {
    char szWords[256];
    std::snprintf(szWords, sizeof(szWords), pszWords, nCode);
    return strLine.find(szWords) != std::string::npos;
}

// Bytes for a report: UTF-8 as it is, anything else with its bytes above ASCII as \xNN.
std::string s_Shown(const std::string& strBytes) {
    if (IsUtf8Text(strBytes))
        return strBytes;
    std::string strShown;
    for (char ch : strBytes) {
        unsigned char by = static_cast<unsigned char>(ch);
        char szHex[8];
        std::snprintf(szHex, sizeof(szHex), "\\x%02X", by);
        strShown += by < 0x80 && (by >= 0x20 || ch == '\n' || ch == '\r') ? std::string(1, ch) : std::string(szHex);
    }
    return strShown;
}

class PackageVerdictsTest : public ::testing::Test {
protected:
    // A game folder and a package folder of the same length: check takes the package to be
    // unpacked in a folder as long as the game folder it is given.
    PackageVerdictsTest() : m_strGame(m_Dir / "game"), m_strPackage(m_Dir / "pack") {
        EXPECT_TRUE(mwtest::CopyTree(mwtest::SourcePath("examples/game"), m_strGame));
        EXPECT_TRUE(mwtest::CopyTree(mwtest::SourcePath("examples/package"), m_strPackage));
        // Both sides look only for the library's presence before an installation.
        EXPECT_TRUE(mwtest::WriteFileBytes(m_strPackage + "\\" COBBLEPAK_LIBRARY_NAME, "stands in"));
        m_strSample = Utf8FromCodePage(CODE_PAGE_GBK, mwtest::ReadFileBytes(m_strPackage + "\\Update.dat").c_str(),
                                       mwtest::ReadFileBytes(m_strPackage + "\\Update.dat").size());
        m_strPack = mwtest::ReadFileBytes(m_strPackage + "\\art\\patch.pak");
    }

    mwtest::KTempDir m_Dir;
    std::string m_strGame;
    std::string m_strPackage;
    std::string m_strSample;
    std::string m_strPack;
};

TEST_F(PackageVerdictsTest, CheckFindsWhatTheInstallerRefuses) {
    unsigned uFirst = 1, uCount = 300;
    char szSeeds[64] = {0};
    if (GetEnvironmentVariableA("MW_VERDICT_SEEDS", szSeeds, sizeof(szSeeds)))
        ASSERT_EQ(2, std::sscanf(szSeeds, "%u:%u", &uFirst, &uCount)) << "MW_VERDICT_SEEDS=FIRST:COUNT";

    // The unchanged sample: both accept it.
    std::vector<std::string> aLines;
    std::string strLine;
    int nCode = 0;
    ASSERT_EQ(0, CheckPackage(m_strPackage, m_strGame, &aLines, m_strGame)) << aLines.front();
    ASSERT_EQ(nullptr, s_Installer(m_strPackage, m_strGame, &strLine, &nCode)) << strLine;

    std::map<int, int> mapSeen;  // how often each of the installer's lines came (0: accepted)
    for (unsigned uSeed = uFirst; uSeed < uFirst + uCount; ++uSeed) {
        KMutatedPackage mutated = MutatePackage(m_strSample, m_strPack, uSeed);
        ASSERT_TRUE(mwtest::WriteFileBytes(m_strPackage + "\\Update.dat", mutated.strDescription));
        ASSERT_TRUE(mwtest::WriteFileBytes(m_strPackage + "\\art\\patch.pak", mutated.strPack));
        std::string strRemoved = mutated.strRemoved.empty() ? std::string() : m_strPackage + "\\" + mutated.strRemoved;
        if (!strRemoved.empty())
            ASSERT_TRUE(MoveFileA(strRemoved.c_str(), (m_Dir / "removed").c_str()));
        aLines.clear();
        bool bCheckPasses = CheckPackage(m_strPackage, m_strGame, &aLines, m_strGame) == 0;
        const KReason* pReason = s_Installer(m_strPackage, m_strGame, &strLine, &nCode);
        ++mapSeen[pReason ? pReason->nTextId : 0];
        if (!strRemoved.empty())
            ASSERT_TRUE(MoveFileA((m_Dir / "removed").c_str(), strRemoved.c_str()));

        std::string strMismatch;
        if (!pReason) {
            // Every problem check reports is one it reports by design (the last line sums up).
            for (size_t i = 0; i + 1 < aLines.size() && strMismatch.empty(); ++i) {
                bool bStricter = false;
                for (const char* pszWords : s_apszStricter)
                    bStricter = bStricter || s_Says(aLines[i], pszWords, 0);
                if (!bStricter)
                    strMismatch = "check refuses what the installer accepts";
            }
            if (aLines.size() == 1 && !bCheckPasses)
                strMismatch = "check refuses what the installer accepts";
        } else if (!s_IsLine(strLine, pReason->nTextId, &nCode)) {
            strMismatch = "the installer's line is not one this test knows";
        } else if (bCheckPasses) {
            strMismatch = "check passes what the installer refuses";
        } else {
            bool bReported = false;
            for (const std::string& strCheck : aLines)
                for (const char* pszWords : pReason->apszCheckWords)
                    bReported = bReported || s_Says(strCheck, pszWords, nCode);
            if (!bReported)
                strMismatch = "check does not report the installer's reason";
        }
        if (strMismatch.empty())
            continue;
        std::string strCheck;
        for (const std::string& strCheckLine : aLines)
            strCheck += "  " + strCheckLine + "\n";
        ADD_FAILURE() << "seed " << uSeed << " (MW_VERDICT_SEEDS=" << uSeed << ":1): " << strMismatch
                      << "\ninstaller: " << (pReason ? strLine : std::string("accepts")) << "\ncheck:\n"
                      << strCheck << "steps:\n" << mutated.strSteps << "Update.dat:\n"
                      << s_Shown(mutated.strDescription);
    }

    // The mutations reach acceptance and the refusals they are made for.
    std::string strSeen;
    for (const auto& seen : mapSeen)
        strSeen += " " + std::to_string(seen.first) + ":" + std::to_string(seen.second);
    std::printf("seeds %u to %u, installer's lines (0: accepted):%s\n", uFirst, uFirst + uCount - 1, strSeen.c_str());
    if (uCount >= 300) {
        for (int nTextId : {0, static_cast<int>(IDS_DESCRIPTION_FAULTY), static_cast<int>(IDS_COPY_ERR_NUMBER),
                            static_cast<int>(IDS_DIGEST_MALFORMED), static_cast<int>(IDS_SOURCE_MISSING),
                            static_cast<int>(IDS_PACK_SOURCE_DAMAGED), static_cast<int>(IDS_COPY_ERR_DIGEST),
                            static_cast<int>(IDS_PACK_TARGET_DAMAGED)})
            EXPECT_NE(0, mapSeen[nTextId]) << "no seed came to line " << nTextId;
    }
}

}  // namespace

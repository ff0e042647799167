// mendwright-pack diff natively: two small builds of a game made here, the package between
// them read back and judged; refusals write nothing; check judges a DeleteList.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "pack/pack_platform.h"
#include "pack/package_check.h"
#include "pack/package_description.h"
#include "pack/package_diff.h"
#include "pack/package_names.h"
#include "pack_check.h"
#include "pack_file.h"
#include "pack_test_util.h"
#include "packcomb.h"

using namespace cobblepak;
using namespace cobblepak::test;

namespace {

// Files of a game build under one folder, made with their folders.
void s_Put(const std::string& strRoot, const std::map<std::string, Bytes>& files) {
    for (const auto& file : files) {
        std::filesystem::create_directories(std::filesystem::path(strRoot + "/" + file.first).parent_path());
        WriteFileBytes(strRoot + "/" + file.first, file.second);
    }
}

std::string s_Digest(const Bytes& vBytes) {
    KSha256 digest;
    digest.Update(vBytes.data(), vBytes.size());
    return digest.FinishHex();
}

// A pack whose items lie in the order given, each entry's second word its item's length.
struct KItem {
    std::uint32_t uKey;
    std::string strData;
    std::uint32_t uWord3;
};
Bytes s_Pack(const std::vector<KItem>& aItems, const std::string& strLeading = std::string()) {
    Bytes vData = Text(strLeading.c_str());
    std::vector<PackIndexEntry> vIndex;
    for (const KItem& item : aItems) {
        vIndex.push_back(Entry(item.uKey, static_cast<std::uint32_t>(kPackHeaderSize + vData.size()),
                               static_cast<std::uint32_t>(item.strData.size()), item.uWord3));
        vData = Concat(vData, Text(item.strData.c_str()));
    }
    std::sort(vIndex.begin(), vIndex.end(), [](const PackIndexEntry& a, const PackIndexEntry& b) { return a.uKey < b.uKey; });
    return MakePack(kPackHeaderSize, vData, vIndex);
}

// key -> (second word, third word, the item's bytes by its second word).
std::map<std::uint32_t, std::string> s_Entries(const std::string& strPath) {
    std::map<std::uint32_t, std::string> mapEntries;
    std::string strReason;
    EXPECT_TRUE(CheckPackFile(strPath.c_str(), strReason)) << strPath << ": " << strReason;
    KPackFile file;
    PackHeader header;
    std::vector<PackIndexEntry> vIndex;
    if (!file.Open(strPath.c_str(), "rb") || !ReadPackHeader(file, header) || !ReadPackIndex(file, header, vIndex))
        return mapEntries;
    Bytes vBytes = ReadFileBytes(strPath);
    for (const PackIndexEntry& entry : vIndex) {
        std::string strData(vBytes.begin() + entry.uDataPos, vBytes.begin() + entry.uDataPos + entry.uWord2);
        mapEntries[entry.uKey] = std::to_string(entry.uWord3) + ":" + strData;
    }
    return mapEntries;
}

struct KRun {
    int nResult;
    std::string strReport;
    bool Said(const std::string& strWhat) const { return strReport.find(strWhat) != std::string::npos; }
};

KRun s_Diff(const std::string& strOld, const std::string& strNew, const std::string& strOut,
            const KDiffOptions& options = KDiffOptions()) {
    std::vector<std::string> aLines;
    KRun run;
    run.nResult = DiffPackage(strOld, strNew, strOut, options, &aLines);
    for (const std::string& strLine : aLines)
        run.strReport += strLine + "\n";
    return run;
}

const std::vector<KItem> s_aOldArt = {{10, "ten", 0}, {20, "twenty", 0}, {30, "thirty", 0}, {40, "forty", 0}};

// Two builds: files added, changed, removed, a folder removed, packs changed, gone short of an
// entry and new, versions.
std::map<std::string, Bytes> s_OldGame() {
    return {{"version.ini", Text("[Version]\r\nvelmora.exe=1.1.0\r\ngame.exe=3.0\r\n")},
            {"velmora.exe", Text("launcher")},
            {"same.txt", Text("same")},
            {"changed.txt", Text("old text")},
            {"removed.txt", Text("removed")},
            {"gone/sub/f.txt", Text("f")},
            {"gone/g.txt", Text("g")},
            {"keep/x.txt", Text("x")},
            {"keep/old.txt", Text("old")},
            {"data/art.pak", s_Pack(s_aOldArt)},
            {"data/shrunk.pak", s_Pack({{1, "one", 0}, {2, "two", 0}})},
            {"data/other.pak", s_Pack({{5, "five", 0}})}};
}

std::map<std::string, Bytes> s_NewGame() {
    std::map<std::string, Bytes> game = s_OldGame();
    game.erase("removed.txt");
    game.erase("gone/sub/f.txt");
    game.erase("gone/g.txt");
    game.erase("keep/old.txt");
    game["version.ini"] = Text("[Version]\r\nvelmora.exe=1.2.0\r\ngame.exe=3.0\r\n");
    game["changed.txt"] = Text("new text");
    game["added/n.txt"] = Text("added");
    // Laid out anew: 10 and 40 the same, 20 other bytes, 30 another third word, 50 new; the
    // bytes left behind 40 by a merge are no change of it.
    game["data/art.pak"] = s_Pack({{50, "fifty", 0}, {40, "forty", 0}, {20, "TWENTY", 0}, {10, "ten", 0}, {30, "thirty", 7}});
    game["data/shrunk.pak"] = s_Pack({{2, "TWO", 0}});
    game["data/new.pak"] = s_Pack({{9, "nine", 0}});
    return game;
}

}  // namespace

TEST(PackDiffTest, ThePackageHoldsWhatChangedAndDeletesWhatNewLacks) {
    KScratchDir scratch;
    std::string strOld = scratch.Path("old"), strNew = scratch.Path("new"), strOut = scratch.Path("out");
    std::map<std::string, Bytes> oldGame = s_OldGame(), newGame = s_NewGame();
    s_Put(strOld, oldGame);
    s_Put(strNew, newGame);
    s_Put(strOut, {{"Cobblepak.dll", Text("library")}});
    std::string strTitle = "Tarnwick 1.2";
    KDiffOptions options;
    options.pstrTitle = &strTitle;
    KRun run = s_Diff(strOld, strNew, strOut, options);
    ASSERT_EQ(0, run.nResult) << run.strReport;
    EXPECT_TRUE(run.Said("pack data\\art.pak: 1 entry added, 2 changed, of 5")) << run.strReport;
    EXPECT_TRUE(run.Said("pack data\\shrunk.pak: 1 entry of OLD's gone in NEW")) << run.strReport;
    EXPECT_TRUE(run.Said("velmora.exe 1.1.0 -> 1.2.0")) << run.strReport;

    std::string strText, strError;
    ASSERT_TRUE(ReadWholeFile(strOut + "/Update.dat", &strText));
    KDescription description;
    ASSERT_TRUE(ReadDescription(strText, &description, &strError)) << strError;
    EXPECT_EQ("", description.strFault);
    EXPECT_EQ(strTitle, description.strTitle);

    // The Files: what NEW adds or changes, a pack new in NEW or short of an entry whole.
    std::map<std::string, std::string> mapFiles;
    for (const KListedFile& file : description.aFiles)
        mapFiles[(file.strFilePath == "\\" ? "" : file.strFilePath) + file.strFileName] = file.strSha256;
    const std::map<std::string, std::string> mapExpected = {
        {"added\\n.txt", s_Digest(newGame["added/n.txt"])},
        {"changed.txt", s_Digest(newGame["changed.txt"])},
        {"data\\new.pak", s_Digest(newGame["data/new.pak"])},
        {"data\\shrunk.pak", s_Digest(newGame["data/shrunk.pak"])},
        {"version.ini", s_Digest(newGame["version.ini"])}};
    EXPECT_EQ(mapExpected, mapFiles);
    for (const auto& file : mapExpected) {
        std::string strPath = file.first;
        std::replace(strPath.begin(), strPath.end(), '\\', '/');
        EXPECT_EQ(newGame[strPath], ReadFileBytes(strOut + "/" + strPath)) << strPath;
    }

    // The Deletes: a folder NEW lacks as a whole, each other file with OLD's digest.
    ASSERT_EQ(3u, description.aDeletes.size());
    EXPECT_EQ("gone\\", description.aDeletes[0].strPath);
    EXPECT_EQ("", description.aDeletes[0].strSha256);
    EXPECT_EQ("keep\\old.txt", description.aDeletes[1].strPath);
    EXPECT_EQ(s_Digest(oldGame["keep/old.txt"]), description.aDeletes[1].strSha256);
    EXPECT_EQ("removed.txt", description.aDeletes[2].strPath);
    EXPECT_EQ(s_Digest(oldGame["removed.txt"]), description.aDeletes[2].strSha256);

    // The versions: NEW's over OLD's; one the same in both is left out.
    ASSERT_EQ(1u, description.aVersions.size());
    EXPECT_EQ("velmora.exe", description.aVersions[0].strApplication);
    EXPECT_EQ("1.2.0", description.aVersions[0].strVersion);
    EXPECT_TRUE(description.aVersions[0].bBase);
    EXPECT_EQ("1.1.0", description.aVersions[0].strBase);

    // The Pack: only the new and changed entries, and merged into OLD's pack it gives NEW's.
    ASSERT_EQ(1u, description.aMerges.size());
    EXPECT_EQ("data\\art.pak", description.aMerges[0].strSource);
    EXPECT_EQ("data\\art.pak", description.aMerges[0].strTarget);
    EXPECT_EQ(s_Digest(ReadFileBytes(strOut + "/data/art.pak")), description.aMerges[0].strSha256);
    std::map<std::uint32_t, std::string> mapShipped = s_Entries(strOut + "/data/art.pak");
    const std::map<std::uint32_t, std::string> mapChanged = {{20, "0:TWENTY"}, {30, "7:thirty"}, {50, "0:fifty"}};
    EXPECT_EQ(mapChanged, mapShipped);
    std::string strMerged = scratch.Path("merged.pak");
    WriteFileBytes(strMerged, oldGame["data/art.pak"]);
    ASSERT_EQ(S_OK, PackComb(strMerged.c_str(), (strOut + "/data/art.pak").c_str()));
    EXPECT_EQ(s_Entries(strNew + "/data/art.pak"), s_Entries(strMerged));

    // Nothing else in OUT, and check finds the package sound.
    EXPECT_FALSE(FileExists(strOut + "/same.txt"));
    EXPECT_FALSE(FileExists(strOut + "/data/other.pak"));
    std::vector<std::string> aLines;
    EXPECT_EQ(0, CheckPackage(strOut, AssumedGamePath(0), &aLines)) << aLines.back();
    EXPECT_NE(std::string::npos, aLines.back().find("3 deletes")) << aLines.back();
}

TEST(PackDiffTest, WhatTheInstallerWouldRefuseWritesNothing) {
    struct KCase {
        const char* pszName;
        std::map<std::string, Bytes> oldExtra, newExtra;
        std::vector<std::string> aNewGone;
        const char* pszOut;       // relative to the scratch folder
        bool bCobblepak;
        const char* pszSaid;
    };
    const KCase aCases[] = {
        {"device name", {}, {{"con.txt", Text("x")}}, {}, "out", true, "con.txt: a name the installer refuses"},
        {"working folder", {}, {{".mendwright/x.txt", Text("x")}}, {}, "out", true, ".mendwright\\x.txt: a name the installer refuses"},
        {"version.ini gone", {}, {}, {"version.ini"}, "out", true, "Delete version.ini: version.ini and the game's launcher"},
        {"launcher gone", {}, {}, {"velmora.exe"}, "out", true, "Delete velmora.exe: version.ini and the game's launcher"},
        {"installer's own name", {}, {{"engine.dll", Text("engine")}}, {}, "out", true, "engine.dll: the package's own file"},
        {"case", {}, {{"Same.TXT", Text("x")}}, {}, "out", true, "differs only in case"},
        {"version back", {}, {{"version.ini", Text("[Version]\r\nvelmora.exe=1.0\r\n")}}, {}, "out", true, "back to 1.0"},
        {"OUT in NEW", {}, {}, {}, "new/out", true, "must lie outside OLD and NEW"},
        {"no Cobblepak.dll", {}, {}, {}, "out", false, "Cobblepak.dll: not in OUT"},
        {"OUT not empty", {}, {}, {}, "full", true, "OUT stray.txt: OUT may hold only"},
        {"no change", {}, {}, {}, "same", true, "OLD and NEW hold the same files"},
    };
    for (const KCase& item : aCases) {
        SCOPED_TRACE(item.pszName);
        KScratchDir scratch;
        std::map<std::string, Bytes> oldGame = s_OldGame(), newGame = s_NewGame();
        if (std::string(item.pszOut) == "same")
            newGame = oldGame;
        for (const auto& file : item.oldExtra)
            oldGame[file.first] = file.second;
        for (const auto& file : item.newExtra)
            newGame[file.first] = file.second;
        for (const std::string& strGone : item.aNewGone)
            newGame.erase(strGone);
        s_Put(scratch.Path("old"), oldGame);
        s_Put(scratch.Path("new"), newGame);
        std::string strOut = scratch.Path(std::string(item.pszOut) == "same" ? "out" : item.pszOut);
        if (std::string(item.pszOut) == "full")
            s_Put(strOut, {{"stray.txt", Text("x")}});
        if (item.bCobblepak)
            s_Put(strOut, {{"Cobblepak.dll", Text("library")}});
        KRun run = s_Diff(scratch.Path("old"), scratch.Path("new"), strOut);
        EXPECT_EQ(1, run.nResult) << run.strReport;
        EXPECT_TRUE(run.Said(item.pszSaid)) << run.strReport;
        EXPECT_TRUE(run.Said("nothing written")) << run.strReport;
        EXPECT_FALSE(FileExists(strOut + "/Update.dat"));
        EXPECT_FALSE(FileExists(strOut + "/changed.txt"));
    }

    // A link in either build: diff follows none.
    for (const char* pszWhich : {"old", "new"}) {
        SCOPED_TRACE(pszWhich);
        KScratchDir scratch;
        s_Put(scratch.Path("old"), s_OldGame());
        s_Put(scratch.Path("new"), s_NewGame());
        ASSERT_EQ(0, symlink("/etc", (scratch.Path(pszWhich) + "/linked").c_str()));
        KRun run = s_Diff(scratch.Path("old"), scratch.Path("new"), scratch.Path("out"));
        EXPECT_EQ(1, run.nResult);
        EXPECT_TRUE(run.Said("linked: not a plain file or folder")) << run.strReport;
        EXPECT_FALSE(FileExists(scratch.Path("out")));
    }
}

TEST(PackDiffTest, CheckJudgesEachDeleteAsTheInstallerDoes) {
    struct KCase {
        const char* pszPath;
        const char* pszSha256;
        const char* pszSaid;  // null: no problem
    };
    const std::string strDigest(64, 'a');
    const KCase aCases[] = {
        {"old.txt", strDigest.c_str(), nullptr},
        {"old\\", "", nullptr},
        {"Data\\Old.pak", "", nullptr},
        {".mendwright\\x", "", "a name the installer refuses"},
        {".Mendwright. \\", "", "a name the installer refuses"},
        {"..\\outside.txt", "", "a name the installer refuses"},
        {"c:\\x.txt", "", "a name the installer refuses"},
        {"\\", "", "a name the installer refuses"},
        {"VERSION.INI", "", "never removed"},
        {"velmora.exe.", "", "never removed"},
        {"a.TXT", "", "the package writes this path"},
        {"sub\\", "", "the package writes this path"},
        {"data\\art.pak", "", "the package writes this path"},
        {"old.txt.", "", "ending in a dot or a space"},
        {"old.txt", "123", "Sha256 is not 64 hex digits"},
        {"old\\", strDigest.c_str(), "a folder has no Sha256"},
    };
    for (const KCase& item : aCases) {
        SCOPED_TRACE(item.pszPath);
        KScratchDir scratch;
        std::string strDir = scratch.Path("package");
        s_Put(strDir, {{"a.txt", Text("a")}, {"sub/b.txt", Text("b")}, {"data/art.pak", s_Pack({{1, "one", 0}})},
                       {"Cobblepak.dll", Text("library")}});
        std::vector<KListedFile> aFiles(2);
        aFiles[0].strFilePath = "\\";
        aFiles[0].strFileName = "a.txt";
        aFiles[1].strFilePath = "sub\\";
        aFiles[1].strFileName = "b.txt";
        std::string strText = DescriptionText("t", aFiles, std::string(), {KPackageMerge{"data\\art.pak", "data\\art.pak", ""}},
                                              {KPackageDelete{item.pszPath, item.pszSha256}});
        WriteFileBytes(strDir + "/Update.dat", Text(strText.c_str()));
        std::vector<std::string> aLines;
        int nResult = CheckPackage(strDir, AssumedGamePath(0), &aLines);
        std::string strReport;
        for (const std::string& strLine : aLines)
            strReport += strLine + "\n";
        EXPECT_EQ(item.pszSaid ? 1 : 0, nResult) << strReport;
        if (item.pszSaid)
            EXPECT_NE(std::string::npos, strReport.find(item.pszSaid)) << strReport;
        else
            EXPECT_NE(std::string::npos, strReport.find("1 delete, ")) << strReport;
    }
}

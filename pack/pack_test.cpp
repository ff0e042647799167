// mendwright-pack natively: make and check on small trees of real files.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/ansi_text.h"
#include "pack/pack_platform.h"
#include "pack/package_check.h"
#include "pack/package_description.h"
#include "pack/package_make.h"
#include "pack/package_names.h"
#include "pack_test_util.h"

namespace {

// A fresh folder under the temporary folder, removed with everything in it afterwards.
class KTree {
public:
    KTree() {
        char szTemplate[] = "/tmp/mw_pack_XXXXXX";
        m_strRoot = mkdtemp(szTemplate);
    }
    ~KTree() { std::system(("rm -rf '" + m_strRoot + "'").c_str()); }
    const std::string& Root() const { return m_strRoot; }
    std::string Path(const std::string& strRelative) const { return m_strRoot + "/" + strRelative; }
    // Writes a file, making its folders.
    void File(const std::string& strRelative, const std::string& strBytes = "x") const {
        for (size_t uSlash = strRelative.find('/'); uSlash != std::string::npos; uSlash = strRelative.find('/', uSlash + 1))
            mkdir(Path(strRelative.substr(0, uSlash)).c_str(), 0755);
        std::ofstream(Path(strRelative), std::ios::binary) << strBytes;
    }
    std::string Read(const std::string& strRelative) const {
        std::string strBytes;
        ReadWholeFile(Path(strRelative), &strBytes);
        return strBytes;
    }
    bool Exists(const std::string& strRelative) const { return access(Path(strRelative).c_str(), F_OK) == 0; }

    int Make(const std::string* pstrTitle = nullptr) {
        m_Lines.clear();
        return MakePackage(m_strRoot, pstrTitle, &m_Lines);
    }
    int Check(int nGamePathLength = 0, const std::string& strGameDir = std::string()) {
        m_Lines.clear();
        return CheckPackage(m_strRoot, AssumedGamePath(nGamePathLength), &m_Lines, strGameDir);
    }
    // True when a line of the last report holds both texts.
    bool Said(const std::string& strName, const std::string& strWhat) const {
        for (const std::string& strLine : m_Lines) {
            if (strLine.find(strName) != std::string::npos && strLine.find(strWhat) != std::string::npos)
                return true;
        }
        return false;
    }
    std::string Report() const {
        std::string strText;
        for (const std::string& strLine : m_Lines)
            strText += strLine + "\n";
        return strText;
    }

private:
    std::string m_strRoot;
    std::vector<std::string> m_Lines;
};

std::string s_Gbk(const std::string& strUtf8) {
    std::string strGbk;
    EXPECT_TRUE(GbkFromUtf8(strUtf8, &strGbk));
    return strGbk;
}

const char s_szEmptyDigest[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

}  // namespace

TEST(PackMakeTest, RoundTripOfChineseNamesNestedFoldersAndAnEmptyFile) {
    KTree tree;
    tree.File(u8"说明.txt", "readme");
    tree.File(u8"interface/地图/小地图.lua", "map");
    tree.File("interface/map/icons/empty.tga", "");
    tree.File("Update.dat", "old");  // replaced, not listed
    tree.File("engine.dll", "program");  // the installer's own: not listed
    tree.File("Cobblepak.dll", "library");  // likewise
    std::string strTitle = u8"塔恩维克 1.0";
    ASSERT_EQ(0, tree.Make(&strTitle)) << tree.Report();
    EXPECT_TRUE(tree.Said("wrote Update.dat", "3 files"));

    std::string strText = tree.Read("Update.dat");
    EXPECT_EQ(0u, strText.find("<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<Root>\r\n    <AppTitle>" + s_Gbk(strTitle)));
    EXPECT_EQ(std::string::npos, strText.find("\n\n"));
    EXPECT_EQ(strText.size(), strText.find("\r\n</Root>\r\n") + 11);
    KDescription description;
    std::string strError;
    ASSERT_TRUE(ReadDescription(strText, &description, &strError));
    EXPECT_EQ(strTitle, description.strTitle);
    ASSERT_EQ(3u, description.aFiles.size());
    // Folder by folder, then the top folder; names read back as the installer holds them.
    EXPECT_EQ("interface\\map\\icons\\", description.aFiles[0].strFilePath);
    EXPECT_EQ("empty.tga", description.aFiles[0].strFileName);
    EXPECT_EQ(s_szEmptyDigest, description.aFiles[0].strSha256);
    EXPECT_EQ(u8"interface\\地图\\", description.aFiles[1].strFilePath);
    EXPECT_EQ(u8"小地图.lua", description.aFiles[1].strFileName);
    EXPECT_EQ("\\", description.aFiles[2].strFilePath);
    EXPECT_EQ(u8"说明.txt", description.aFiles[2].strFileName);
    for (const KListedFile& file : description.aFiles)
        EXPECT_EQ(64u, file.strSha256.size());

    EXPECT_EQ(0, tree.Check()) << tree.Report();
    EXPECT_TRUE(tree.Said("3 files listed, 3 with digests", "no problems"));
    // Stable: made again (the title kept from the present Update.dat), byte for byte the same.
    ASSERT_EQ(0, tree.Make());
    EXPECT_EQ(strText, tree.Read("Update.dat"));
}

TEST(PackMakeTest, EveryRefusalIsListedAndNothingIsWritten) {
    struct KCase {
        std::vector<std::string> aFiles;
        std::string strName;
        std::string strSaid;
    };
    const std::string strLong(230, 'n');
    std::string strDeep;
    for (int i = 0; i < 16; ++i)
        strDeep += "d/";
    const KCase aCases[] = {
        {{u8"한글.txt"}, u8"한글.txt", "GBK cannot hold"},
        {{"bad\xff.txt"}, "bad", "GBK cannot hold"},
        {{"con.txt"}, "con.txt", "refuses"},
        {{"aux/x.txt"}, "aux\\x.txt", "refuses"},
        {{"a|b.txt"}, "a|b.txt", "refuses"},
        {{"a:b.txt"}, "a:b.txt", "refuses"},
        {{"..../x.txt"}, "....\\x.txt", "refuses"},
        {{".Mendwright/x.txt"}, ".Mendwright\\x.txt", "refuses"},
        {{".mendwright. /x.txt"}, ".mendwright. \\x.txt", "refuses"},
        {{"b/trail."}, "b\\trail.", "ending in a dot or a space"},
        {{"dir./f"}, "dir.\\f", "ending in a dot or a space"},
        {{"sp /f"}, "sp \\f", "ending in a dot or a space"},
        {{strLong + ".txt"}, strLong, "would not fit"},
        {{strDeep + "x.txt"}, "d\\d\\", "more folders"},
        {{"A.txt", "a.txt"}, "a.txt", "differs only in case from A.txt"},
        {{"Data/x.txt", "data/y.txt"}, "data", "differs only in case from Data"},
        {{" lead.txt", "con"}, " lead.txt", "read this name differently"},
        {{}, "no files", "refuses a package without any"},
    };
    for (const KCase& item : aCases) {
        SCOPED_TRACE(item.strName);
        KTree tree;
        tree.File("fine.txt");
        if (item.aFiles.empty())
            std::remove(tree.Path("fine.txt").c_str());
        for (const std::string& strFile : item.aFiles)
            tree.File(strFile);
        EXPECT_EQ(1, tree.Make()) << tree.Report();
        EXPECT_TRUE(tree.Said(item.strName, item.strSaid)) << tree.Report();
        EXPECT_TRUE(tree.Said("", "nothing written"));
        EXPECT_FALSE(tree.Exists("Update.dat"));
    }

    // All problems of one tree at once; a link is no plain file; a title GBK cannot hold.
    KTree tree;
    tree.File("con.txt");
    tree.File(u8"한.txt");
    ASSERT_EQ(0, symlink("/etc/hostname", tree.Path("link.txt").c_str()));
    tree.File("Update.dat", "kept");
    std::string strTitle = u8"Größe";
    EXPECT_EQ(1, tree.Make(&strTitle));
    EXPECT_TRUE(tree.Said("con.txt", "refuses"));
    EXPECT_TRUE(tree.Said(u8"한.txt", "GBK cannot hold"));
    EXPECT_TRUE(tree.Said("link.txt", "not a plain file"));
    EXPECT_TRUE(tree.Said("title", "GBK cannot hold"));
    EXPECT_TRUE(tree.Said("4 problems", "nothing written")) << tree.Report();
    EXPECT_EQ("kept", tree.Read("Update.dat"));
}

TEST(PackMakeTest, ATitleIsKeptWholeUpToTheInstallersLimit) {
    // The title of the present Update.dat, read whole whatever its length; make keeps it only
    // when the installer can.
    const std::pair<size_t, int> aCases[] = {{259, 0}, {260, 1}, {800, 1}};
    for (const auto& item : aCases) {
        SCOPED_TRACE(item.first);
        KTree tree;
        tree.File("a.txt");
        std::string strTitle(item.first, 't');
        tree.File("Update.dat", "<Root><AppTitle>" + strTitle + "</AppTitle><FileList><File><FilePath>\\</FilePath>"
                                "<FileName>a.txt</FileName></File></FileList></Root>");
        KDescription description;
        std::string strError;
        ASSERT_TRUE(ReadDescription(tree.Read("Update.dat"), &description, &strError));
        EXPECT_EQ(strTitle, description.strTitle);
        EXPECT_EQ(0, tree.Check()) << tree.Report();
        EXPECT_EQ(item.second, tree.Make()) << tree.Report();
        EXPECT_EQ(item.second != 0, tree.Said("title", "longer than the installer's 259 bytes")) << tree.Report();
    }
}

TEST(PackCheckTest, EveryFindingOnASmallPackage) {
    auto fnMade = [](KTree& tree) {
        tree.File("a.txt", "alpha");
        tree.File(u8"ui/界面.lua", "ui");
        EXPECT_EQ(0, tree.Make());
    };
    auto fnRewrite = [](KTree& tree, const std::string& strFrom, const std::string& strTo) {
        std::string strText = tree.Read("Update.dat");
        size_t uAt = strText.find(strFrom);
        ASSERT_NE(std::string::npos, uAt) << strFrom;
        strText.replace(uAt, strFrom.size(), strTo);
        tree.File("Update.dat", strText);
    };
    {
        KTree tree;
        fnMade(tree);
        std::remove(tree.Path(u8"ui/界面.lua").c_str());
        tree.File("extra.txt");
        tree.File("a.txt", "alphb");  // one byte changed
        EXPECT_EQ(1, tree.Check());
        EXPECT_TRUE(tree.Said(u8"ui\\界面.lua", "listed but not in the package")) << tree.Report();
        EXPECT_TRUE(tree.Said("extra.txt", "in the package but not listed"));
        EXPECT_TRUE(tree.Said("a.txt", "SHA-256 differs from its FileSha256"));
        EXPECT_TRUE(tree.Said("2 with digests", "3 problems"));
    }
    {
        KTree tree;
        fnMade(tree);
        std::string strText = tree.Read("Update.dat"), strGbkName;
        ASSERT_TRUE(GbkFromUtf8(u8"界面.lua", &strGbkName));
        size_t uDigest = strText.find("<FileSha256>") + 12;
        fnRewrite(tree, strText.substr(uDigest, 4), "WXYZ");
        // a.txt's digest in upper case, as other tools write it: no problem.
        size_t uSecond = strText.find("<FileSha256>", uDigest) + 12;
        std::string strUpper = strText.substr(uSecond, 64);
        for (char& ch : strUpper)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        fnRewrite(tree, strText.substr(uSecond, 64), strUpper);
        // Listed twice (in another letter case), and names the installer refuses.
        fnRewrite(tree, "</FileList>",
                  "<File><FilePath>\\</FilePath><FileName>A.TXT</FileName></File>"
                  "<File><FilePath>..\\</FilePath><FileName>x.txt</FileName></File>"
                  "<File><FilePath>\\</FilePath><FileName>nul</FileName></File>"
                  "<File><FilePath>ui\\</FilePath></File>"
                  "<File><FilePath>.mendwright.\\</FilePath><FileName>done</FileName></File>"
                  "<File><FilePath>ui.\\</FilePath><FileName>x.txt</FileName></File>"
                  "<File><FilePath>ui\\</FilePath><FileName>y.txt\\</FileName></File>"
                  "<File><FilePath>ui.\\</FilePath><FileName>" + strGbkName + "</FileName><FileSha256>" +
                  std::string(64, '0') + "</FileSha256></File>"
                  "<File><FilePath>ui \\</FilePath><FileName>" + strGbkName + "</FileName></File>"
                  "<File><FilePath>\\</FilePath><FileName>e.txt</FileName><FileSha256></FileSha256></File>"
                  "</FileList>");
        EXPECT_EQ(1, tree.Check());
        EXPECT_TRUE(tree.Said(u8"界面.lua", "not 64 hex digits")) << tree.Report();
        EXPECT_TRUE(tree.Said("e.txt", "not 64 hex digits"));
        EXPECT_FALSE(tree.Said("a.txt", "FileSha256"));
        EXPECT_TRUE(tree.Said(".mendwright.\\done", "refuses"));
        EXPECT_TRUE(tree.Said("ui.\\x.txt", "ending in a dot or a space"));
        EXPECT_TRUE(tree.Said("ui\\y.txt\\", "refuses"));
        // The file the system reads for a name with a trailing dot is judged.
        EXPECT_TRUE(tree.Said(u8"ui.\\界面.lua", "SHA-256 differs from its FileSha256"));
        EXPECT_TRUE(tree.Said(u8"ui \\界面.lua", "listed but not in the package"));  // a folder keeps its space
        EXPECT_TRUE(tree.Said("A.TXT", "listed twice"));
        EXPECT_TRUE(tree.Said("..\\x.txt", "refuses"));
        EXPECT_TRUE(tree.Said("nul", "refuses"));
        EXPECT_TRUE(tree.Said("File 6", "no FileName"));
    }
    {
        // Paths that fit a typical game folder but not a long one.
        KTree tree;
        tree.File(std::string(150, 'n') + ".txt");
        ASSERT_EQ(0, tree.Make());
        EXPECT_EQ(0, tree.Check());
        EXPECT_EQ(0, tree.Check(100));
        EXPECT_EQ(1, tree.Check(110));
        EXPECT_TRUE(tree.Said("nnn", "would not fit under a game folder of 110 characters"));
    }
    // Descriptions the installer cannot use, or that list nothing. A quote in <!...> means
    // nothing to the parser: the levels after it count (deep enough to overflow the stack).
    std::string strDeep = "<!x \"><Root>";
    for (int i = 0; i < 200000; ++i)
        strDeep += "<a>";
    for (int i = 0; i < 200000; ++i)
        strDeep += "</a>";
    strDeep += "</Root><!x \">";
    const std::pair<std::string, std::string> aDescriptions[] = {
        {"<Root><FileList>", "cannot use it"},
        {strDeep, "cannot use it"},
        {"<root></root>", "no top-level Root"},
        {"<Root><AppTitle>t</AppTitle></Root>", "lists no File"},
    };
    for (const auto& item : aDescriptions) {
        SCOPED_TRACE(item.first.substr(0, 40));
        KTree tree;
        tree.File("a.txt");
        tree.File("Update.dat", item.first);
        EXPECT_EQ(1, tree.Check());
        EXPECT_TRUE(tree.Said("", item.second)) << tree.Report();
    }
    KTree empty;
    EXPECT_EQ(1, empty.Check());
    EXPECT_TRUE(empty.Said("Update.dat", "missing or unreadable"));
    // A UTF-16 description with byte-order mark reads as its GBK twin.
    KTree utf16;
    utf16.File("a.txt", "alpha");
    std::string strUtf16 = "\xff\xfe";
    for (char ch : std::string("<Root><FileList><File><FilePath>\\</FilePath><FileName>a.txt</FileName></File>"
                               "</FileList></Root>"))
        strUtf16 += std::string(1, ch) + '\0';
    utf16.File("Update.dat", strUtf16);
    EXPECT_EQ(0, utf16.Check()) << utf16.Report();
}

TEST(PackCheckTest, EveryEncodingIsJudgedAsTheInstallerReadsIt) {
    // One listed file, in the tree under strTreeName; the description's bytes in each encoding.
    auto fnDescription = [](const std::string& strDeclaration, const std::string& strName) {
        return strDeclaration + "<Root><FileList><File><FilePath>\\</FilePath><FileName>" + strName +
               "</FileName></File></FileList></Root>";
    };
    auto fnUtf16 = [&](const std::u16string& u16Name) {
        std::string strBytes = "\xFF\xFE";
        std::u16string u16Text;
        for (char ch : fnDescription("", "|"))
            u16Text += ch == '|' ? u16Name : std::u16string(1, static_cast<char16_t>(ch));
        for (char16_t unit : u16Text)
            strBytes += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return strBytes;
    };
    const std::string strName = u8"说明.txt", strEmoji = u8"\U0001F600.txt";
    const std::string strUtf8Declared = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    struct KCase {
        const char* pszName;
        std::string strTreeName;
        std::string strBytes;
        int nVerdict;  // what the installer does: 0 installs, 1 refuses or fails
        std::string strSaid;
    } aCases[] = {
        {"GBK", strName, fnDescription("", s_Gbk(strName)), 0, "no problems"},
        {"UTF-8 with its mark", strName, "\xEF\xBB\xBF" + fnDescription("", strName), 0, "no problems"},
        {"UTF-8 declared", strName, fnDescription(strUtf8Declared, strName), 0, "no problems"},
        {"GBK bytes declared UTF-8", strName, fnDescription(strUtf8Declared, s_Gbk(strName)), 1, "not UTF-8 text"},
        {"ISO-8859-1 declared", "a.txt", fnDescription("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "a.txt"), 1,
         "does not read"},
        {"Big5 declared", "a.txt", fnDescription("<?xml version=\"1.0\" encoding=\"big5\"?>", "a.txt"), 1, "does not read"},
        {"beyond U+FFFF by reference", strEmoji, fnDescription("", "&#x1F600;.txt"), 0, "no problems"},
        {"beyond U+FFFF in UTF-16", strEmoji, fnUtf16(u"\U0001F600.txt"), 0, "no problems"},
        {"UTF-16 lone surrogate", "x.txt", fnUtf16(std::u16string(u"x") + static_cast<char16_t>(0xD800) + u".txt"), 1,
         "listed but not in the package"},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszName);
        KTree tree;
        tree.File(oneCase.strTreeName);
        tree.File("Update.dat", oneCase.strBytes);
        EXPECT_EQ(oneCase.nVerdict, tree.Check()) << tree.Report();
        EXPECT_TRUE(tree.Said("", oneCase.strSaid)) << tree.Report();
    }
}

TEST(PackToolTest, CommandLineExitCodes) {
    KTree tree;
    tree.File(u8"说明.txt");
    auto fnRun = [](const std::string& strArgs) {
        int nStatus = std::system((std::string(MENDWRIGHT_PACK) + " " + strArgs + " >/dev/null 2>&1").c_str());
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    };
    EXPECT_EQ(0, fnRun("--help"));
    EXPECT_EQ(2, fnRun(""));
    EXPECT_EQ(2, fnRun("pack " + tree.Root()));
    EXPECT_EQ(2, fnRun("make " + tree.Root() + " --game-path-length 40"));
    EXPECT_EQ(2, fnRun("check " + tree.Root() + " --game-path-length 3"));
    EXPECT_EQ(1, fnRun("check " + tree.Root()));
    EXPECT_EQ(0, fnRun("make " + tree.Root() + " --title T"));
    EXPECT_EQ(0, fnRun("check " + tree.Root() + " --game-path-length 200"));
    EXPECT_EQ(0, fnRun("check " + tree.Root() + " --game " + tree.Root()));
    EXPECT_EQ(2, fnRun("check " + tree.Root() + " --game " + tree.Path("none")));
}

TEST(PackMakeTest, VersionsAndPacksAreWrittenAndCheckedAsTheInstallerReadsThem) {
    using cobblepak::test::Entry;
    const cobblepak::test::Bytes pack = cobblepak::test::MakePack(32, cobblepak::test::Text("abcdefgh"), {Entry(1, 32), Entry(2, 36)});
    KTree tree;
    tree.File("a.txt", "alpha");
    tree.File("art/patch.pak", std::string(pack.begin(), pack.end()));
    tree.File("Cobblepak.dll", "library");
    KMakeExtras extras;
    extras.aVersions = {"velmora.exe=1.3"};
    extras.aBases = {"velmora.exe=1.2"};
    extras.aPacks = {"art/patch.pak=data/art.pak"};
    std::vector<std::string> lines;
    ASSERT_EQ(0, MakePackage(tree.Root(), nullptr, &lines, &extras)) << lines.at(0);
    KDescription description;
    std::string strError;
    ASSERT_TRUE(ReadDescription(tree.Read("Update.dat"), &description, &strError));
    ASSERT_EQ(1u, description.aFiles.size());  // the pack source is merged, not copied
    ASSERT_EQ(1u, description.aVersions.size());
    EXPECT_EQ("1.3", description.aVersions[0].strVersion);
    EXPECT_EQ("1.2", description.aVersions[0].strBase);
    ASSERT_EQ(1u, description.aMerges.size());
    EXPECT_EQ("art\\patch.pak", description.aMerges[0].strSource);
    EXPECT_EQ("data\\art.pak", description.aMerges[0].strTarget);
    EXPECT_EQ(64u, description.aMerges[0].strSha256.size());
    EXPECT_EQ(0, tree.Check()) << tree.Report();
    EXPECT_TRUE(tree.Said("1 pack, 1 version", "no problems"));
    // Made again without options: the versions and packs are kept.
    EXPECT_EQ(0, tree.Make());
    EXPECT_EQ(0, tree.Check()) << tree.Report();

    // What the installer would refuse, each named.
    tree.File("art/patch.pak", std::string(pack.begin(), pack.end() - 4));
    std::remove(tree.Path("Cobblepak.dll").c_str());
    EXPECT_EQ(1, tree.Check());
    EXPECT_TRUE(tree.Said("art\\patch.pak", "not a sound pack")) << tree.Report();
    EXPECT_TRUE(tree.Said("Cobblepak.dll", "missing"));
    extras.aVersions = {"velmora.exe=1.x"};
    extras.aPacks = {"art/patch.pak=../art.pak", "art/none.pak=data/art.pak"};
    lines.clear();
    EXPECT_EQ(1, MakePackage(tree.Root(), nullptr, &lines, &extras));
    std::string strReport;
    for (const std::string& strLine : lines)
        strReport += strLine + "\n";
    EXPECT_NE(std::string::npos, strReport.find("--version velmora.exe=1.x")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("--base velmora.exe=1.2")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("Target ..\\art.pak")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("art\\none.pak: the Source is missing")) << strReport;
}

TEST(PackMakeTest, PacksAndVersionsTheInstallerTakesAsFaultyAreRefusedByMakeAndCheck) {
    using cobblepak::test::Entry;
    const cobblepak::test::Bytes pack = cobblepak::test::MakePack(32, cobblepak::test::Text("abcdefgh"), {Entry(1, 32)});
    struct KCase {
        const char* pszName;
        std::vector<std::string> aVersions;
        std::vector<std::string> aPacks;
        std::string strSaid;
    } aCases[] = {
        {"a Target a File replaces", {}, {"art/patch.pak=data/art.pak"}, "a File of the package replaces it"},
        {"the same, spelled otherwise", {}, {"art/patch.pak=DATA\\.\\art.pak"}, "a File of the package replaces it"},
        {"a Target in a plug-in folder", {}, {"art/patch.pak=interface\\art.pak"}, "inside a plug-in folder"},
        {"another plug-in folder", {}, {"art/patch.pak=Interface2/art.pak"}, "inside a plug-in folder"},
        {"one application twice", {"a=1.2", "A=1.3"}, {}, "an earlier VersionInfo names the same Application"},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszName);
        KTree tree;
        tree.File("data/art.pak", "the package's own copy");
        tree.File("art/patch.pak", std::string(pack.begin(), pack.end()));
        tree.File("Cobblepak.dll", "library");
        KMakeExtras extras;
        extras.aVersions = oneCase.aVersions;
        extras.aPacks = oneCase.aPacks;
        std::vector<std::string> lines;
        EXPECT_EQ(1, MakePackage(tree.Root(), nullptr, &lines, &extras));
        std::string strReport;
        for (const std::string& strLine : lines)
            strReport += strLine + "\n";
        EXPECT_NE(std::string::npos, strReport.find(oneCase.strSaid)) << strReport;
        EXPECT_FALSE(tree.Exists("Update.dat"));

        // The same description written by hand: check finds the same.
        std::string strXml = "<Root><VersionInfoList>";
        for (const std::string& strVersion : oneCase.aVersions)
            strXml += "<VersionInfo><Application>" + strVersion.substr(0, 1) + "</Application><Version>" +
                      strVersion.substr(2) + "</Version></VersionInfo>";
        strXml += "</VersionInfoList><FileList><File><FilePath>data\\</FilePath><FileName>art.pak</FileName></File>"
                  "</FileList><PackList>";
        for (const std::string& strPack : oneCase.aPacks)
            strXml += "<Pack><Source>art\\patch.pak</Source><Target>" + strPack.substr(strPack.find('=') + 1) +
                      "</Target></Pack>";
        tree.File("Update.dat", strXml + "</PackList></Root>");
        EXPECT_EQ(1, tree.Check());
        EXPECT_TRUE(tree.Said("", oneCase.strSaid)) << tree.Report();
    }
}

TEST(PackCheckTest, WhatNeedsTheGameFolderIsJudgedOnIt) {
    using cobblepak::test::Entry;
    const cobblepak::test::Bytes pack = cobblepak::test::MakePack(32, cobblepak::test::Text("abcdefgh"), {Entry(1, 32)});
    const std::pair<std::string, std::string> sound("data/art.pak", std::string(pack.begin(), pack.end()));
    const std::pair<std::string, std::string> fits("version.ini", "[Version]\r\nvelmora.exe=1.2\r\n");
    std::string strUtf16Ini = "\xff\xfe";  // the installer reads UTF-16 too, and a repeated section
    for (char ch : std::string("[Version]\r\n[Other]\r\nvelmora.exe=9\r\n[Version]\r\nvelmora.exe=1.4\r\n"))
        strUtf16Ini += std::string(1, ch) + '\0';
    KTree package;
    package.File("docs/readme.txt", "readme");
    package.File("art/patch.pak", sound.second);
    package.File("Cobblepak.dll", "library");
    KMakeExtras extras;
    extras.aVersions = {"velmora.exe=1.3"};
    extras.aBases = {"velmora.exe=1.2"};
    extras.aPacks = {"art/patch.pak=data/art.pak"};
    std::vector<std::string> lines;
    ASSERT_EQ(0, MakePackage(package.Root(), nullptr, &lines, &extras)) << lines.at(0);

    // Without a game folder: no problems, and one line says what was not judged.
    EXPECT_EQ(0, package.Check()) << package.Report();
    EXPECT_TRUE(package.Said("not judged without a game folder (--game GAME_DIR)",
                             "each pack Target there and a sound pack, no folder where a File goes, the versions "
                             "against its version.ini"))
        << package.Report();

    struct KCase {
        const char* pszName;
        std::vector<std::pair<std::string, std::string>> aGame;  // the game folder's files
        std::string strSaid;  // the one problem; "" for none
    } aCases[] = {
        {"a sound game", {sound, fits}, ""},
        {"names as the system resolves them", {{"DATA/Art.PAK", sound.second}, {"Version.INI", "[version]\nVelmora.EXE = \"1.2.0\"\n"}}, ""},
        {"no Target", {fits, {"interface/data/art.pak", sound.second}}, "Target data\\art.pak: not a file of the game folder"},
        {"a Target that is not a sound pack", {{"data/art.pak", "not a pack"}, fits}, "not a sound pack in the game folder"},
        {"a folder where a File goes", {sound, fits, {"docs/readme.txt/x", ""}}, "docs\\readme.txt: a folder of the game folder stands where it goes"},
        {"a newer game", {sound, {"version.ini", "[Version]\r\nvelmora.exe=1.4\r\n"}}, "the game has 1.4, newer than the package's"},
        {"another base", {sound, {"version.ini", "[Version]\r\nvelmora.exe=1.2.5\r\n"}}, "the game has 1.2.5, not BaseVersion 1.2"},
        {"UTF-16", {sound, {"version.ini", strUtf16Ini}}, "the game has 1.4, newer than the package's"},
        {"no version.ini", {sound}, "names no version of it, and the package needs BaseVersion 1.2"},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszName);
        KTree game;
        for (const auto& file : oneCase.aGame)
            game.File(file.first, file.second);
        EXPECT_EQ(oneCase.strSaid.empty() ? 0 : 1, package.Check(0, game.Root())) << package.Report();
        EXPECT_TRUE(package.Said("", oneCase.strSaid.empty() ? "no problems" : oneCase.strSaid)) << package.Report();
        EXPECT_TRUE(oneCase.strSaid.empty() || package.Said("", ": 1 problem")) << package.Report();
        EXPECT_FALSE(package.Said("", "not judged")) << package.Report();
    }
}

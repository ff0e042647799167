#include "pack/description_mutator.h"

#include <random>
#include <vector>

#include "core/sha256.h"
#include "tests/test_support.h"

namespace {

// One element of the text: <Name>inner</Name>.
struct KElement {
    size_t uBegin, uInner, uInnerEnd, uEnd;
    std::string strName;
    bool bLeaf;
};

// The elements of a text as written (no attributes, no empty-element tags), in document order.
std::vector<KElement> s_Elements(const std::string& strText) {
    std::vector<KElement> aElements;
    std::vector<size_t> aOpen;
    for (size_t i = strText.find('<'); i != std::string::npos; i = strText.find('<', i + 1)) {
        size_t uClose = strText.find('>', i);
        if (uClose == std::string::npos || i + 1 >= strText.size() || strText[i + 1] == '?' || strText[i + 1] == '!')
            continue;
        if (strText[i + 1] != '/') {
            if (!aOpen.empty())
                aElements[aOpen.back()].bLeaf = false;
            aOpen.push_back(aElements.size());
            aElements.push_back(KElement{i, uClose + 1, 0, 0, strText.substr(i + 1, uClose - i - 1), true});
            continue;
        }
        std::string strName = strText.substr(i + 2, uClose - i - 2);
        while (!aOpen.empty() && aElements[aOpen.back()].strName != strName)
            aOpen.pop_back();
        if (aOpen.empty())
            continue;
        aElements[aOpen.back()].uInnerEnd = i;
        aElements[aOpen.back()].uEnd = uClose + 1;
        aOpen.pop_back();
    }
    std::vector<KElement> aClosed;
    for (const KElement& element : aElements) {
        if (element.uEnd)
            aClosed.push_back(element);
    }
    return aClosed;
}

std::string s_Upper(std::string strText) {
    for (char& ch : strText)
        ch = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    return strText;
}

std::string s_Sha256(const std::string& strBytes) {
    KSha256 sha;
    sha.Update(strBytes.data(), strBytes.size());
    return sha.FinishHex();
}

const char s_szLoneSurrogate[] = "@LONE@";  // becomes an unpaired UTF-16 unit when written

enum KWriting { WRITE_GBK, WRITE_UTF8, WRITE_UTF8_BOM, WRITE_GBK_UTF8_BOM, WRITE_UTF16 };

class KMutator {
public:
    KMutator(const std::string& strText, const std::string& strPack, unsigned uSeed)
        : m_Rng(uSeed), m_strText(strText), m_strPack(strPack) {}

    KMutatedPackage Run() {
        for (size_t uSteps = 1 + Pick(3); uSteps > 0; --uSteps)
            Step();
        return KMutatedPackage{Written(), m_strPack, m_strRemoved, m_strSteps};
    }

private:
    size_t Pick(size_t uCount) { return m_Rng() % uCount; }
    template <size_t N>
    const char* PickOf(const char* const (&apszChoices)[N]) {
        return apszChoices[Pick(N)];
    }
    void Note(const std::string& strStep) { m_strSteps += strStep + "\n"; }

    void Step() {
        std::vector<KElement> aElements = s_Elements(m_strText);
        if (aElements.empty())
            return Encoding();
        const KElement element = aElements[Pick(aElements.size())];
        switch (Pick(16)) {
        case 0:
            Note("drop " + element.strName);
            m_strText.erase(element.uBegin, element.uEnd - element.uBegin);
            return;
        case 1:
            Note("repeat " + element.strName);
            m_strText.insert(element.uEnd, m_strText.substr(element.uBegin, element.uEnd - element.uBegin));
            return;
        case 2:
            return Rename(element);
        case 3:
            return Encoding();
        case 4:
            return PackBytes();
        case 5:
            return Nesting();
        case 6:
            return Markup(element);
        case 7:
            m_uBytesAt = m_Rng();
            m_eBytes = Pick(2) ? BYTES_ZERO : BYTES_CUT;
            Note(m_eBytes == BYTES_ZERO ? "a zero byte in the description" : "the description cut short");
            return;
        case 8:
            m_strRemoved = PickOf({"Cobblepak.dll", "interface\\interface.ini", "art\\patch.pak", "interface2"});
            Note("no " + m_strRemoved + " in the package");
            return;
        default: {
            // Texts more often than structure: most rules judge texts.
            std::vector<KElement> aLeaves;
            for (const KElement& leaf : aElements) {
                if (leaf.bLeaf)
                    aLeaves.push_back(leaf);
            }
            if (aLeaves.empty())
                return;
            const KElement& leaf = aLeaves[Pick(aLeaves.size())];
            std::string strOld = m_strText.substr(leaf.uInner, leaf.uInnerEnd - leaf.uInner);
            std::string strNew = TextFor(leaf.strName, strOld);
            Note(leaf.strName + ": \"" + strOld + "\" -> \"" + strNew + "\"");
            m_strText.replace(leaf.uInner, leaf.uInnerEnd - leaf.uInner, strNew);
        }
        }
    }

    void Rename(const KElement& element) {
        static const char* const s_apszNames[] = {"File",        "FilePath",    "FileName",     "FileSha256", "Pack",
                                                  "Source",      "Target",      "SourceSha256", "VersionInfo", "Application",
                                                  "Version",     "BaseVersion", "FileList",     "PackList",   "AppTitle",
                                                  "VersionInfoList", "Root",    "X"};
        size_t uChoice = Pick(4);
        std::string strName = uChoice == 0 ? s_Upper(element.strName)
                              : uChoice == 1 ? std::string(1, static_cast<char>(element.strName[0] | 0x20)) + element.strName.substr(1)
                                             : std::string(PickOf(s_apszNames));
        Note("rename " + element.strName + " to " + strName);
        m_strText.replace(element.uInnerEnd + 2, element.strName.size(), strName);
        m_strText.replace(element.uBegin + 1, element.strName.size(), strName);
    }

    // A new text for an element of that name: the forms each rule judges.
    std::string TextFor(const std::string& strName, const std::string& strOld) {
        if (strName == "FileSha256" || strName == "SourceSha256")
            return Digest(strOld);
        if (strName == "Version" || strName == "BaseVersion") {
            static const char* const s_apszVersions[] = {"1.2", "1.2.0.0", "1.2.0.0.0", "1..2", "", " 1.2", "4294967295",
                                                         "4294967296", "1.1.0", "1.0", "9", "01.2", "-1", "1.2a", "1.3"};
            return PickOf(s_apszVersions);
        }
        if (strName == "Application") {
            static const char* const s_apszApplications[] = {"VELMORA.EXE", "game.exe", "velmora.exe", "", "a=b", "[x]",
                                                             ";x", "x&#9;", u8"版本.exe", "Game.Exe"};
            return PickOf(s_apszApplications);
        }
        if (strName == "AppTitle")
            return Pick(2) ? std::string(259 + Pick(600), 'T') : std::string(u8"标题 &amp; 1.2");
        if (strName == "FileList" || strName == "PackList" || strName == "VersionInfoList" || strName == "Root" ||
            strName == "File" || strName == "Pack" || strName == "VersionInfo")
            return "";
        return Path(strName, strOld);
    }

    std::string Digest(const std::string& strOld) {
        std::string strNew = strOld;
        switch (Pick(8)) {
        case 0:
            return s_Upper(strOld);
        case 1:
            return strOld.substr(0, strOld.empty() ? 0 : strOld.size() - 1);
        case 2:
            return strOld + "0";
        case 3:
            if (!strNew.empty())
                strNew[Pick(strNew.size())] = strNew[0] == '0' ? '1' : '0';
            return strNew;
        case 4:
            return "";
        case 5:
            if (!strNew.empty())
                strNew[Pick(strNew.size())] = 'g';
            return strNew;
        case 6:
            return "\n  " + strOld + "  \n";
        default:
            return s_Sha256("");
        }
    }

    // A path for FilePath, FileName, Source or Target: separators, '.' and '..' levels, trailing
    // dots and spaces, case, device names, the working folder, characters no name may hold, the
    // limits, and the names of the sample's own files and packs.
    std::string Path(const std::string& strName, const std::string& strOld) {
        static const char* const s_apszDevices[] = {"CON", "nul.txt", "COM1.lua", "LPT9", "aux ", "CONOUT$", "COM0", "prn.x.y"};
        static const char* const s_apszWork[] = {".mendwright\\", ".mendwright.\\", ".MENDWRIGHT \\", ".mendwright/",
                                                 ".\\.mendwright\\"};
        static const char* const s_apszCharacters[] = {":", "*", "?", "\"", "&lt;", "&gt;", "|", "&#1;", "&#9;",
                                                       "&#x1F600;", "&#233;", "&#xFFFF;"};
        static const char* const s_apszPacks[] = {"data/art.pak",     "data\\.\\art.pak",  "DATA\\ART.PAK",
                                                  "data.\\art.pak",   "data\\art.pak.",    "data\\none.pak",
                                                  "interface\\art.pak", "Interface2\\x.pak", "interface\\interface.ini",
                                                  "interface\\map\\icons\\marker.tga", u8"插件说明.txt",
                                                  "version.ini",      "art\\patch.pak",    "art/./patch.pak",
                                                  "ART\\PATCH.PAK",   "art\\patch.pak ",   "\\art\\patch.pak",
                                                  "data\\",           "Update.dat"};
        static const char* const s_apszFolders[] = {"\\", "/", "", "data\\", "interface\\", "INTERFACE\\map\\",
                                                    "interface2\\chat\\", "art\\", "resource\\", "art", "interface\\map"};
        static const char* const s_apszFiles[] = {"art.pak", "version.ini", "data", "interface", "patch.pak",
                                                  u8"小地图.lua", "MARKER.TGA", "chat.lua"};
        std::string strNew = strOld;
        size_t uSeparator = strOld.find_first_of("\\/");
        switch (Pick(17)) {
        case 0:
            for (char& ch : strNew)
                ch = ch == '\\' ? '/' : ch;
            return strNew;
        case 1:
            return uSeparator == std::string::npos ? "\\" + strOld : strNew.insert(uSeparator, 1, strOld[uSeparator]);
        case 2:
            return ".\\" + strOld;
        case 3:
            return PickOf({"..\\", "x\\..\\", "..", ".", "...\\", ". .\\"}) + strOld;
        case 4:
            return uSeparator == std::string::npos || Pick(2) ? strOld + "." : strNew.insert(uSeparator, ".");
        case 5:
            return uSeparator == std::string::npos || Pick(2) ? strOld + " " : strNew.insert(uSeparator, " ");
        case 6:
            return s_Upper(strOld);
        case 7:
            return strName == "FilePath" ? std::string(PickOf(s_apszDevices)) + "\\" : PickOf(s_apszDevices);
        case 8:
            return PickOf(s_apszWork) + (strName == "FilePath" || strOld.empty() || Pick(2) ? strOld : std::string("x"));
        case 9:
            return strNew.insert(Pick(strOld.size() + 1) , PickOf(s_apszCharacters));
        case 10:
            return "";
        case 11: {
            // Around the limit of a path under the test's folders.
            std::string strLong(150 + Pick(120), 'x');
            return strName == "FilePath" || Pick(2) ? strLong + "\\" + strOld : strOld + strLong;
        }
        case 12: {
            std::string strDeep;
            for (size_t i = 14 + Pick(5); i > 0; --i)
                strDeep += "d\\";
            return strDeep + strOld;
        }
        case 13:
            return PickOf(s_apszPacks);
        case 14:
            return strName == "FilePath" ? PickOf(s_apszFolders) : PickOf(s_apszFiles);
        case 15:
            m_eWriting = WRITE_UTF16;
            return s_szLoneSurrogate + strOld;
        default:
            return " \r\n " + strOld + "\t";
        }
    }

    // The other forms of XML a text or an element may take.
    void Markup(const KElement& element) {
        std::string strInner = m_strText.substr(element.uInner, element.uInnerEnd - element.uInner);
        std::string strNew;
        switch (Pick(8)) {
        case 0:
            strNew = "<![CDATA[" + strInner + "]]>";
            break;
        case 1:
            strNew = strInner.substr(0, strInner.size() / 2) + "<!-- x -->" + strInner.substr(strInner.size() / 2);
            break;
        case 2:
            Note("an attribute on " + element.strName);
            m_strText.insert(element.uBegin + 1 + element.strName.size(), " a=\"1\"");
            return;
        case 3:
            Note(element.strName + " as an empty element");
            m_strText.replace(element.uBegin, element.uEnd - element.uBegin, "<" + element.strName + "/>");
            return;
        case 4:
            strNew = strInner + PickOf({"&amp;", "&apos;", "&foo;", "&#65;", "&#x5c;", "&#92;", "&#0;", "&#x2F;"});
            break;
        case 5:
            Note("text after the root");
            m_strText += PickOf({"<Root></Root>", "x", "<!-- x -->", "<?pi x?>"});
            return;
        case 6:
            Note("a document type");
            m_strText.insert(m_strText.find("<Root>") == std::string::npos ? 0 : m_strText.find("<Root>"),
                             "<!DOCTYPE Root [<!ENTITY e \"x\">]>");
            return;
        default:
            strNew = strInner.substr(0, strInner.size() / 2) + "<?pi x?>" + strInner.substr(strInner.size() / 2);
            break;
        }
        Note(element.strName + ": \"" + strInner + "\" -> \"" + strNew + "\"");
        m_strText.replace(element.uInner, element.uInnerEnd - element.uInner, strNew);
    }

    void Encoding() {
        static const char* const s_apszDeclared[] = {"utf-8", "UTF-8", "big5", "ISO-8859-1", "GB2312", "gb18030",
                                                      "UTF-16", "GBK", "utf8", "cp936"};
        switch (Pick(7)) {
        case 0:
            Note("no declaration");
            SetDeclared(nullptr);
            return;
        case 1: {
            const char* pszEncoding = PickOf(s_apszDeclared);
            Note(std::string("declared ") + pszEncoding);
            SetDeclared(pszEncoding);
            return;
        }
        case 2:
            Note("UTF-8, declared utf-8");
            SetDeclared("utf-8");
            m_eWriting = WRITE_UTF8;
            return;
        case 3:
            Note("UTF-8, as declared");
            m_eWriting = WRITE_UTF8;
            return;
        case 4:
            Note("UTF-8 with its byte-order mark");
            m_eWriting = WRITE_UTF8_BOM;
            return;
        case 5:
            Note("GBK behind a UTF-8 byte-order mark");
            m_eWriting = WRITE_GBK_UTF8_BOM;
            return;
        default:
            Note("UTF-16");
            m_eWriting = WRITE_UTF16;
            return;
        }
    }

    // Sets the declaration's encoding; null drops the declaration.
    void SetDeclared(const char* pszEncoding) {
        if (m_strText.compare(0, 5, "<?xml") != 0)
            return;
        size_t uEnd = m_strText.find("?>");
        if (!pszEncoding) {
            m_strText.erase(0, uEnd + 2);
            return;
        }
        m_strText.replace(0, uEnd + 2, std::string("<?xml version=\"1.0\" encoding=\"") + pszEncoding + "\"?>");
    }

    // The pack source damaged: a byte changed, cut short or lengthened; its SourceSha256 then
    // kept, dropped or made to match.
    void PackBytes() {
        if (m_strPack.empty())
            return;
        switch (Pick(3)) {
        case 0: {
            size_t uAt = Pick(m_strPack.size());
            m_strPack[uAt] = static_cast<char>(m_strPack[uAt] ^ (1 + Pick(255)));
            Note("pack byte " + std::to_string(uAt) + " changed");
            break;
        }
        case 1:
            m_strPack.resize(Pick(m_strPack.size()));
            Note("pack cut to " + std::to_string(m_strPack.size()) + " bytes");
            break;
        default:
            m_strPack += std::string(1 + Pick(40), static_cast<char>(Pick(256)));
            Note("pack lengthened to " + std::to_string(m_strPack.size()) + " bytes");
        }
        size_t uBegin = m_strText.find("<SourceSha256>");
        size_t uEnd = m_strText.find("</SourceSha256>");
        if (uBegin == std::string::npos || uEnd == std::string::npos || uEnd < uBegin)
            return;
        switch (Pick(3)) {
        case 0:
            Note("SourceSha256 dropped");
            m_strText.erase(uBegin, uEnd + 15 - uBegin);
            break;
        case 1:
            Note("SourceSha256 made to match");
            m_strText.replace(uBegin + 14, uEnd - uBegin - 14, s_Sha256(m_strPack));
            break;
        default:
            break;
        }
    }

    // Elements nested around the limit the parse takes, inside Root.
    void Nesting() {
        size_t uEnd = m_strText.rfind("</Root>");
        if (uEnd == std::string::npos)
            return;
        size_t uLevels = 997 + Pick(6);
        Note("nested " + std::to_string(uLevels) + " levels inside Root");
        std::string strNest;
        for (size_t i = 0; i < uLevels; ++i)
            strNest += "<n>";
        for (size_t i = 0; i < uLevels; ++i)
            strNest += "</n>";
        m_strText.insert(uEnd, strNest);
    }

    std::string Written() const {
        std::string strBytes = Encoded();
        if (m_eBytes == BYTES_ZERO)
            strBytes.insert(m_uBytesAt % (strBytes.size() + 1), 1, '\0');
        else if (m_eBytes == BYTES_CUT)
            strBytes.resize(m_uBytesAt % (strBytes.size() + 1));
        return strBytes;
    }

    std::string Encoded() const {
        switch (m_eWriting) {
        case WRITE_UTF8:
            return m_strText;
        case WRITE_UTF8_BOM:
            return "\xEF\xBB\xBF" + m_strText;
        case WRITE_GBK_UTF8_BOM:
            return "\xEF\xBB\xBF" + mwtest::Gbk(m_strText);
        case WRITE_UTF16: {
            std::string strBytes = mwtest::Utf16WithBom(m_strText);
            std::string strMark = mwtest::Utf16WithBom(s_szLoneSurrogate).substr(2);
            for (size_t uAt; (uAt = strBytes.find(strMark)) != std::string::npos;)
                strBytes.replace(uAt, strMark.size(), std::string("\x00\xD8", 2));
            return strBytes;
        }
        default:
            return mwtest::Gbk(m_strText);
        }
    }

    std::mt19937 m_Rng;
    std::string m_strText;
    std::string m_strPack;
    std::string m_strSteps;
    std::string m_strRemoved;
    KWriting m_eWriting = WRITE_GBK;
    enum { BYTES_AS_WRITTEN, BYTES_ZERO, BYTES_CUT } m_eBytes = BYTES_AS_WRITTEN;
    size_t m_uBytesAt = 0;
};

}  // namespace

KMutatedPackage MutatePackage(const std::string& strText, const std::string& strPack, unsigned uSeed) {
    return KMutator(strText, strPack, uSeed).Run();
}

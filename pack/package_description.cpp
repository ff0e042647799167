#include "pack/package_description.h"

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "xml/kxml_element.h"
#include "xml/load_buffer.h"

namespace {

// A UTF-16 LE text as the installer converts it to its narrow text: a character the code page
// lacks becomes the default "?".
std::string s_NarrowFromUtf16(const std::string& strBytes) {
    std::string strText;
    for (size_t i = 0; i + 1 < strBytes.size(); i += 2) {
        unsigned long ulUnit = static_cast<unsigned char>(strBytes[i]) | (static_cast<unsigned char>(strBytes[i + 1]) << 8);
        if (ulUnit >= 0xD800 && ulUnit < 0xDC00 && i + 3 < strBytes.size()) {
            unsigned long ulLow = static_cast<unsigned char>(strBytes[i + 2]) | (static_cast<unsigned char>(strBytes[i + 3]) << 8);
            if (ulLow >= 0xDC00 && ulLow < 0xE000) {
                ulUnit = 0x10000 + ((ulUnit - 0xD800) << 10) + (ulLow - 0xDC00);
                i += 2;
            }
        }
        std::string strChar;
        strText += NarrowFromCodePoint(ulUnit, &strChar) ? strChar : std::string("?");
    }
    return strText;
}

std::string s_Escape(const std::string& strText) {
    std::string strResult;
    // '&', '<' and '>' lie below 0x40, where no GBK trail byte does: byte by byte is safe.
    for (char ch : strText) {
        if (ch == '&')
            strResult += "&amp;";
        else if (ch == '<')
            strResult += "&lt;";
        else if (ch == '>')
            strResult += "&gt;";
        else
            strResult += ch;
    }
    return strResult;
}

}  // namespace

bool ReadDescription(const std::string& strBytes, KDescription* pDescription, std::string* pstrError) {
    *pDescription = KDescription();
    std::string strText = strBytes;
    if (strBytes.size() >= 2 && static_cast<unsigned char>(strBytes[0]) == 0xFF &&
        static_cast<unsigned char>(strBytes[1]) == 0xFE)
        strText = s_NarrowFromUtf16(strBytes.substr(2));
    KTiXmlDocument document;
    if (!document.LoadBuffer(strText.c_str(), static_cast<int>(strText.size()), TIXML_ENCODING_LEGACY)) {
        *pstrError = document.ErrorDesc() ? document.ErrorDesc() : "not well-formed";
        if (document.ErrorRow() > 0)
            *pstrError += " (line " + std::to_string(document.ErrorRow()) + ")";
        return false;
    }
    KXmlElement root(document.FirstChildElement("Root"));
    if (!document.FirstChildElement("Root")) {
        *pstrError = "no top-level Root element";
        return false;
    }
    char szTitle[260] = {0};
    root.GetChildText("AppTitle", szTitle);
    pDescription->strTitle = szTitle;
    IKXmlNode* pFileList = root.GetFirstChildByName("FileList");
    pDescription->bFileList = pFileList != nullptr;
    KListedFileReader reader;
    for (IKXmlNode* pFile = pFileList ? pFileList->GetFirstChildByName("File") : nullptr; pFile;
         pFile = pFile->GetNextSiblingByName("File")) {
        KListedFile file;
        file.bFits = reader.Read(pFile) != 0;
        file.strFilePath = reader.m_szFilePath;
        file.strFileName = reader.m_szFileName;
        file.bNamePresent = reader.m_bNamePresent;
        file.strSha256 = reader.m_strSha256;
        file.bSha256Present = reader.m_bSha256Present;
        pDescription->aFiles.push_back(file);
    }
    if (!ReadPackageVersions(&root, &pDescription->aVersions, &pDescription->strFault) ||
        !ReadPackageMerges(&root, &pDescription->aMerges, &pDescription->strFault)) {
        pDescription->aVersions.clear();
        pDescription->aMerges.clear();
    }
    if (pDescription->strFault.empty() && !ReadPackageDeletes(&root, &pDescription->aDeletes, &pDescription->strFault))
        pDescription->aDeletes.clear();
    return true;
}

std::string VersionInfoListText(const std::vector<KPackageVersion>& aVersions) {
    std::string strText = "    <VersionInfoList>\r\n";
    for (const KPackageVersion& version : aVersions) {
        strText += "        <VersionInfo>\r\n";
        strText += "            <Application>" + s_Escape(version.strApplication) + "</Application>\r\n";
        strText += "            <Version>" + version.strVersion + "</Version>\r\n";
        if (version.bBase)
            strText += "            <BaseVersion>" + version.strBase + "</BaseVersion>\r\n";
        strText += "        </VersionInfo>\r\n";
    }
    return strText + "    </VersionInfoList>";
}

std::string DeleteListText(const std::vector<KPackageDelete>& aDeletes) {
    if (aDeletes.empty())
        return std::string();
    std::string strText = "    <DeleteList>\r\n";
    for (const KPackageDelete& del : aDeletes) {
        strText += "        <Delete>\r\n";
        strText += "            <Path>" + s_Escape(del.strPath) + "</Path>\r\n";
        if (!del.strSha256.empty())
            strText += "            <Sha256>" + del.strSha256 + "</Sha256>\r\n";
        strText += "        </Delete>\r\n";
    }
    return strText + "    </DeleteList>\r\n";
}

std::string DescriptionText(const std::string& strTitle, const std::vector<KListedFile>& aFiles,
                            const std::string& strVersionInfo, const std::vector<KPackageMerge>& aMerges,
                            const std::vector<KPackageDelete>& aDeletes) {
    std::string strText = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<Root>\r\n";
    strText += "    <AppTitle>" + s_Escape(strTitle) + "</AppTitle>\r\n";
    if (!strVersionInfo.empty())
        strText += strVersionInfo + "\r\n";
    strText += "    <FileList>\r\n";
    for (const KListedFile& file : aFiles) {
        strText += "        <File>\r\n";
        strText += "            <FilePath>" + s_Escape(file.strFilePath) + "</FilePath>\r\n";
        strText += "            <FileName>" + s_Escape(file.strFileName) + "</FileName>\r\n";
        if (!file.strSha256.empty())
            strText += "            <FileSha256>" + file.strSha256 + "</FileSha256>\r\n";
        strText += "        </File>\r\n";
    }
    strText += "    </FileList>\r\n";
    if (!aMerges.empty()) {
        strText += "    <PackList>\r\n";
        for (const KPackageMerge& merge : aMerges) {
            strText += "        <Pack>\r\n";
            strText += "            <Source>" + s_Escape(merge.strSource) + "</Source>\r\n";
            strText += "            <Target>" + s_Escape(merge.strTarget) + "</Target>\r\n";
            if (!merge.strSha256.empty())
                strText += "            <SourceSha256>" + merge.strSha256 + "</SourceSha256>\r\n";
            strText += "        </Pack>\r\n";
        }
        strText += "    </PackList>\r\n";
    }
    strText += DeleteListText(aDeletes);
    strText += "</Root>\r\n";
    return strText;
}

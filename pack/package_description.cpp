#include "pack/package_description.h"

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "xml/description_text.h"
#include "xml/kxml_element.h"
#include "xml/load_buffer.h"

namespace {

std::string s_Escape(const std::string& strText) {
    std::string strResult;
    // No byte of a longer UTF-8 character is ASCII: byte by byte is safe.
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
    std::string strText;
    if (!DescriptionToUtf8(strBytes.data(), strBytes.size(), CODE_PAGE_GBK, &strText)) {
        std::string strEncoding = DeclaredEncoding(strBytes.data(), strBytes.size());
        *pstrError = strEncoding.empty() ? "a UTF-16 byte-order mark and no text"
                                         : "it declares the encoding \"" + strEncoding + "\", which the installer does not read";
        return false;
    }
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
    // The whole title: its limit is judged where it is used (make), not by a buffer here.
    const char* pszTitle = root.GetChildText("AppTitle", nullptr);
    pDescription->strTitle = pszTitle ? pszTitle : "";
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
    if (!ReadPackageVersions(&root, &pDescription->aVersions, &pDescription->strFault)) {
        pDescription->aVersions.clear();
    } else if (!ReadPackageMerges(&root, &pDescription->aMerges, &pDescription->strFault)) {
        // The installer judges the versions against the game before it reads the packs: they
        // stay, so that the game's judgement still says what the installer would say first.
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

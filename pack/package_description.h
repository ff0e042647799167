// Update.dat for mendwright-pack: read through the installer's own reading of its encoding, parse
// and File reader, and written in the form the installer reads (GBK, CRLF).
#pragma once

#include <string>
#include <vector>

#include "install/package_deletes.h"
#include "install/package_packs.h"
#include "install/package_versions.h"

// One File as the installer reads it. Texts are UTF-8, as the installer holds them (bytes that
// are not UTF-8 only where a description declared UTF-8 and is not).
struct KListedFile {
    std::string strFilePath;
    std::string strFileName;
    std::string strSha256;  // lower case; empty: no FileSha256, or an empty one
    bool bSha256Present = false;
    bool bNamePresent = true;
    bool bFits = true;  // both texts fit the installer's 260-byte buffers
};

struct KDescription {
    std::string strTitle;  // empty when there is none
    bool bFileList = false;
    std::vector<KListedFile> aFiles;
    // The versions and packs as the installer reads them; strFault (English) when it would take
    // them as a faulty description, and then they are empty.
    std::vector<KPackageVersion> aVersions;
    std::vector<KPackageMerge> aMerges;
    std::string strFault;
    // The DeleteList (pack/package_deletes.h judges it); empty too when faulty (strFault).
    std::vector<KPackageDelete> aDeletes;
};

// Reads the bytes of an Update.dat as the installer does (xml/description_text.h), then parses
// them. false with *pstrError set when the installer would find it unusable: an encoding it does
// not read, not well-formed, or without a top-level Root.
bool ReadDescription(const std::string& strBytes, KDescription* pDescription, std::string* pstrError);

// The text of an Update.dat with title strTitle and the files in the given order, each with its
// digest when it has one: UTF-8 (written in GBK, as its declaration says), CRLF line ends, texts
// escaped. strVersionInfo, a VersionInfoList
// element (as an earlier Update.dat wrote it, or VersionInfoListText), stands between the title
// and the files; the packs, when any, in a PackList after the files, then the deletes, when any,
// in a DeleteList (DeleteListText).
std::string DescriptionText(const std::string& strTitle, const std::vector<KListedFile>& aFiles,
                            const std::string& strVersionInfo = std::string(),
                            const std::vector<KPackageMerge>& aMerges = std::vector<KPackageMerge>(),
                            const std::vector<KPackageDelete>& aDeletes = std::vector<KPackageDelete>());

// A DeleteList element with its line end, indented as DescriptionText writes; "" for none.
std::string DeleteListText(const std::vector<KPackageDelete>& aDeletes);

// A VersionInfoList element for the versions, indented as DescriptionText writes.
std::string VersionInfoListText(const std::vector<KPackageVersion>& aVersions);

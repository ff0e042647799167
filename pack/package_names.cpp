#include "pack/package_names.h"

#include <cstdio>

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "pack/pack_platform.h"

std::string AssumedGamePath(int nLength) {
    if (nLength <= 0)
        return "C:\\Program Files (x86)\\Tarnwick";
    return "C:\\" + std::string(static_cast<size_t>(nLength > 3 ? nLength - 3 : 0), 'G');
}

bool IsInstallerOwnFile(const std::vector<std::string>& aParts) {
    static const char* const s_apszOwn[] = {"Update.dat",          "Mendwright.exe",  "mendwright-cli.exe", "engine.dll",
                                            "Cobblepak.dll",       "mendwright-pack.exe", "mendwright-pack",   "Update.dat.tmp"};
    if (aParts.size() != 1)
        return false;
    for (const char* pszOwn : s_apszOwn) {
        if (EqualsNoCaseAscii(aParts[0], pszOwn))
            return true;
    }
    return false;
}

bool ListedNameOf(const std::vector<std::string>& aParts, KListedFile* pFile) {
    std::string strPath, strGbk;
    for (size_t i = 0; i + 1 < aParts.size(); ++i) {
        if (!GbkFromUtf8(aParts[i], &strGbk))
            return false;
        strPath += aParts[i] + "\\";
    }
    pFile->strFilePath = strPath.empty() ? "\\" : strPath;
    pFile->strFileName = aParts.empty() ? std::string() : aParts.back();
    return !aParts.empty() && GbkFromUtf8(aParts.back(), &strGbk);
}

bool TreePartsOf(const KListedFile& file, std::vector<std::string>* pParts) {
    std::string strUtf8 = file.strFilePath + file.strFileName;
    if (!IsUtf8Text(strUtf8))
        return false;
    // In UTF-8 a separator byte is always a separator: no character continues with it.
    pParts->clear();
    std::string strPart;
    for (char ch : strUtf8 + "\\") {
        if (ch == '\\' || ch == '/') {
            if (!strPart.empty() && strPart != ".")
                pParts->push_back(strPart);
            strPart.clear();
        } else {
            strPart += ch;
        }
    }
    return true;
}

std::string TreeKey(const std::vector<std::string>& aParts) {
    return PackagePathKey(ShownParts(aParts));
}

std::string ShownName(const KListedFile& file) {
    bool bTop = file.strFilePath == "\\" || file.strFilePath == "/";
    std::string strName = (bTop ? std::string() : file.strFilePath) + file.strFileName;
    if (IsUtf8Text(strName))
        return strName;
    std::string strShown;
    for (char ch : strName) {
        unsigned char by = static_cast<unsigned char>(ch);
        if (by >= 0x20 && by < 0x7F) {
            strShown += ch;
        } else {
            char szHex[8];
            std::snprintf(szHex, sizeof(szHex), "\\x%02X", by);
            strShown += szHex;
        }
    }
    return strShown;
}

std::string ShownParts(const std::vector<std::string>& aParts) {
    std::string strShown;
    for (const std::string& strPart : aParts)
        strShown += (strShown.empty() ? "" : "\\") + strPart;
    return strShown;
}

unsigned long CheckPackedName(const std::string& strGame, const KListedFile& file) {
    if (!file.bFits)
        return PACKAGE_FILE_TOO_LONG;
    unsigned long ulCode =
        CheckListedFile(strGame.c_str(), strGame.c_str(), file.strFilePath.c_str(), file.strFileName.c_str());
    if (ulCode == PACKAGE_FILE_OK && HasTrailingDotOrSpace((file.strFilePath + file.strFileName).c_str()))
        return PACKED_NAME_TRAILING;
    return ulCode;
}

std::string RefusalText(unsigned long ulCode, size_t uGamePathLength) {
    std::string strCode = " (the installer stops with error " + std::to_string(ulCode) + ")";
    switch (ulCode) {
    case PACKED_NAME_TRAILING:
        return "a name ending in a dot or a space: Windows drops them, so the installer reads and writes the file "
               "under the name without them";
    case PACKAGE_FILE_BAD_NAME:
        return "a name the installer refuses: a parent folder, a drive or stream, a character no file name may hold, "
               "a device name, or its working folder" + strCode;
    case PACKAGE_FILE_TOO_LONG:
        return "the path would not fit under a game folder of " + std::to_string(uGamePathLength) +
               " characters (at most 259)" + strCode;
    case PACKAGE_FILE_TOO_DEEP:
        return "below more folders than the installer makes (16 below the drive)" + strCode;
    default:
        return "refused" + strCode;
    }
}

#include "install/install_transaction.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "core/folder_exists.h"
#include "core/folder_path.h"
#include "core/sha256.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "install/folder_cleanup.h"
#include "install/package_packs.h"
#include "install/pack_merge_process.h"
#include "install/version_file.h"
#include "install/version_check.h"
#include "pack_check.h"
#include "xml/xml_document.h"

std::atomic<int> g_nInstallStepsLeft(-1);

namespace {

enum { MESSAGE_SIZE = 1024 * 3 };

// The journal's paths are UTF-8. A journal of an earlier installer (header 1) holds them in the
// system's ANSI code page and is still read.
const char s_szJournalHeader[] = "MENDWRIGHT JOURNAL 2";
// A journal with packs or versions (lines K and V), which installers of header 2 cannot undo.
const char s_szPackJournalHeader[] = "MENDWRIGHT JOURNAL 3";
const char s_szAnsiJournalHeader[] = "MENDWRIGHT JOURNAL 1";
const char* const s_apszPluginFolders[] = {"interface", "interface2"};

// Counts one file-system change of a run for the test seam.
void s_Step() {
    int nLeft = g_nInstallStepsLeft.load();
    if (nLeft < 0)
        return;
    if (nLeft == 0)
        throw KInstallAbandoned();
    g_nInstallStepsLeft = nLeft - 1;
}

// A name as the file system compares it: upper case, in UTF-16.
std::wstring s_FoldCase(const std::string& strName) {
    std::wstring wstrName = Utf8ToWide(strName);
    if (!wstrName.empty())
        CharUpperBuffW(&wstrName[0], static_cast<DWORD>(wstrName.size()));
    return wstrName;
}

bool s_IsPlainFile(const std::string& strPath) {
    DWORD dwAttributes = GetFileAttributesU8(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool s_Exists(const std::string& strPath) {
    return GetFileAttributesU8(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void s_AddLine(IKMsgOutput* pMsgOutput, int nId, const char* pszFirst = "", const char* pszSecond = "") {
    if (!pMsgOutput)
        return;
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), GetString(nId), pszFirst, pszSecond);
    pMsgOutput->AddMessage(szMessage);
}

std::string s_WorkFolder(const std::string& strGamePath) {
    return strGamePath + "\\" WORK_FOLDER_NAME;
}

// Removes the working folder: what was set aside, what was written, then the journal, then the
// commit mark, then the folder. Each removal can be repeated after a kill. When something set
// aside cannot be removed, the journal and the mark stay, so that the next start finds the
// commit and finishes it; 0 then, and whenever the folder itself stays.
int s_RemoveWorkFolder(const std::string& strWork) {
    s_Step();
    for (const char* pszSub : {"\\old", "\\new"}) {
        std::string strSub = strWork + pszSub;
        if (FolderExists(strSub.c_str()))
            DeleteFolderTree(strSub.c_str(), 1);
        if (FolderExists(strSub.c_str()))
            return 0;
    }
    s_Step();
    DeleteFileU8((strWork + "\\journal").c_str());
    DeleteFileU8((strWork + "\\journal.tmp").c_str());
    DeleteFileU8((strWork + "\\lock").c_str());
    s_Step();
    DeleteFileU8((strWork + "\\done").c_str());
    SetFileAttributesU8(strWork.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryU8(strWork.c_str()) ? 1 : 0;
}

// Writes strText to a new file strPath and, when bFlush, makes it durable. 0 with the cause in
// GetLastError.
int s_WriteFile(const std::string& strPath, const std::string& strText, bool bFlush) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size()), &dwWritten, nullptr) &&
               dwWritten == strText.size() && (!bFlush || FlushFileBuffers(hFile));
    DWORD dwError = GetLastError();
    CloseHandle(hFile);
    SetLastError(dwError);
    return bOk ? 1 : 0;
}

// The journal's text for a plan: a header, then one line per plug-in folder, folder and file.
std::string s_HexText(const std::string& strBytes) {
    static const char s_szDigits[] = "0123456789abcdef";
    std::string strHex;
    for (unsigned char by : strBytes) {
        strHex += s_szDigits[by >> 4];
        strHex += s_szDigits[by & 15];
    }
    return strHex;
}

// The bytes of a hex text; false when it is not one.
bool s_HexBytes(const std::string& strHex, std::string* pstrBytes) {
    if (strHex.size() % 2)
        return false;
    pstrBytes->clear();
    for (size_t i = 0; i < strHex.size(); i += 2) {
        int anNibble[2];
        for (int j = 0; j < 2; ++j) {
            char ch = strHex[i + j];
            anNibble[j] = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
            if (anNibble[j] < 0)
                return false;
        }
        pstrBytes->push_back(static_cast<char>(anNibble[0] * 16 + anNibble[1]));
    }
    return true;
}

std::string s_JournalText(const KInstallPlan& plan) {
    bool bPacks = !plan.aPacks.empty() || plan.chVersionFile;
    std::string strText = std::string(bPacks ? s_szPackJournalHeader : s_szJournalHeader) + "\n";
    for (const std::string& strName : plan.aPluginFolders)
        strText += "P\t" + strName + "\n";
    for (const std::string& strFolder : plan.aNewFolders)
        strText += "D\t" + strFolder + "\n";
    for (const KPlanFile& file : plan.aFiles)
        strText += std::string("F\t") + file.chKind + "\t" + file.strDest + "\n";
    for (const KPlanPack& pack : plan.aPacks)
        strText += "K\t" + std::to_string(pack.nLength) + "\t" + s_HexText(pack.strHeader) + "\t" + pack.strTarget + "\n";
    if (plan.chVersionFile)
        strText += std::string("V\t") + plan.chVersionFile + "\n";
    return strText;
}

// A relative path from a journal that stays inside the game folder and out of the working folder.
bool s_IsSafeRelative(const std::string& strRelative) {
    return !strRelative.empty() && strRelative[0] != '\\' && strRelative[0] != '/' &&
           CheckListedFile("C:", "C:", "", strRelative.c_str()) == ERROR_SUCCESS;
}

// The identity of the file or folder at strPath (volume and file index); false when it cannot
// be opened.
bool s_FileIdentity(const std::string& strPath, BY_HANDLE_FILE_INFORMATION* pInfo) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    BOOL bOk = GetFileInformationByHandle(hFile, pInfo);
    CloseHandle(hFile);
    return bOk != FALSE;
}

// Reads a journal back into a plan; false when it is damaged.
bool s_ReadJournal(const std::string& strPath, KInstallPlan* pPlan) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    std::string strText;
    char szChunk[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile, szChunk, sizeof(szChunk), &dwRead, nullptr) && dwRead > 0)
        strText.append(szChunk, dwRead);
    CloseHandle(hFile);

    size_t uPos = 0;
    bool bHeader = false;
    if (strText.compare(0, sizeof(s_szAnsiJournalHeader) - 1, s_szAnsiJournalHeader) == 0)
        strText = s_szJournalHeader + CodePageToUtf8(CP_ACP, strText.substr(sizeof(s_szAnsiJournalHeader) - 1));
    while (uPos < strText.size()) {
        size_t uEnd = strText.find('\n', uPos);
        if (uEnd == std::string::npos)
            return false;  // every line ends in a newline: a cut journal is damaged
        std::string strLine = strText.substr(uPos, uEnd - uPos);
        uPos = uEnd + 1;
        if (!bHeader) {
            if (strLine != s_szJournalHeader && strLine != s_szPackJournalHeader)
                return false;
            bHeader = true;
        } else if (strLine.compare(0, 2, "K\t") == 0) {
            // K <length> <header in hex> <target>
            size_t uTab1 = strLine.find('\t', 2);
            size_t uTab2 = uTab1 == std::string::npos ? uTab1 : strLine.find('\t', uTab1 + 1);
            if (uTab2 == std::string::npos || uTab1 == 2 || uTab1 - 2 > 12)
                return false;
            KPlanPack pack;
            std::string strLength = strLine.substr(2, uTab1 - 2);
            if (strLength.find_first_not_of("0123456789") != std::string::npos)
                return false;
            pack.nLength = std::stoll(strLength);
            pack.strTarget = strLine.substr(uTab2 + 1);
            if (!s_HexBytes(strLine.substr(uTab1 + 1, uTab2 - uTab1 - 1), &pack.strHeader) ||
                pack.strHeader.size() != PACK_HEADER_BYTES || !s_IsSafeRelative(pack.strTarget))
                return false;
            pPlan->aPacks.push_back(pack);
        } else if (strLine.size() == 3 && strLine.compare(0, 2, "V\t") == 0 && std::strchr("RND", strLine[2])) {
            pPlan->chVersionFile = strLine[2];
        } else if (strLine.compare(0, 2, "P\t") == 0) {
            std::string strName = strLine.substr(2);
            if (strName != s_apszPluginFolders[0] && strName != s_apszPluginFolders[1])
                return false;
            pPlan->aPluginFolders.push_back(strName);
        } else if (strLine.compare(0, 2, "D\t") == 0) {
            std::string strFolder = strLine.substr(2);
            if (!s_IsSafeRelative(strFolder))
                return false;
            pPlan->aNewFolders.push_back(strFolder);
        } else if (strLine.size() > 4 && strLine.compare(0, 2, "F\t") == 0 && strLine[3] == '\t' &&
                   std::strchr("RND", strLine[2])) {
            KPlanFile file;
            file.chKind = strLine[2];
            file.strDest = strLine.substr(4);
            if (!s_IsSafeRelative(file.strDest))
                return false;
            pPlan->aFiles.push_back(file);
        } else {
            return false;
        }
    }
    return bHeader;
}

// The length and first PACK_HEADER_BYTES bytes of a pack; false when it cannot be read.
bool s_ReadPackState(const std::string& strPath, long long* pnLength, std::string* pstrHeader) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER liSize;
    char achHeader[PACK_HEADER_BYTES];
    DWORD dwRead = 0;
    bool bOk = GetFileSizeEx(hFile, &liSize) && ReadFile(hFile, achHeader, sizeof(achHeader), &dwRead, nullptr) &&
               dwRead == sizeof(achHeader);
    CloseHandle(hFile);
    *pnLength = liSize.QuadPart;
    pstrHeader->assign(achHeader, sizeof(achHeader));
    return bOk;
}

// Puts a merged pack back as it was before the run: cut to its old length, then its old header.
// A pack that is already so is not written. False when it cannot be: the file is gone, shorter
// than it was, or refuses the writes.
bool s_RestorePack(const std::string& strPath, const KPlanPack& pack) {
    long long nLength = 0;
    std::string strHeader;
    if (!s_ReadPackState(strPath, &nLength, &strHeader) || nLength < pack.nLength)
        return false;
    if (nLength == pack.nLength && strHeader == pack.strHeader)
        return true;
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER liLength, liZero;
    liLength.QuadPart = pack.nLength;
    liZero.QuadPart = 0;
    DWORD dwWritten = 0;
    // The cut first: the old header points only into the old length.
    bool bOk = SetFilePointerEx(hFile, liLength, nullptr, FILE_BEGIN) && SetEndOfFile(hFile) &&
               SetFilePointerEx(hFile, liZero, nullptr, FILE_BEGIN) &&
               WriteFile(hFile, pack.strHeader.data(), PACK_HEADER_BYTES, &dwWritten, nullptr) &&
               dwWritten == PACK_HEADER_BYTES && FlushFileBuffers(hFile);
    CloseHandle(hFile);
    return bOk;
}

// The SHA-256 of a file as lower-case hex; "" when it cannot be read.
std::string s_FileSha256(const std::string& strPath) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::string();
    KSha256 sha;
    std::vector<char> buffer(1 << 20);
    DWORD dwRead = 0;
    bool bOk = true;
    while ((bOk = ReadFile(hFile, buffer.data(), static_cast<DWORD>(buffer.size()), &dwRead, nullptr) != 0) && dwRead)
        bOk = sha.Update(buffer.data(), dwRead);
    CloseHandle(hFile);
    std::string strHex = sha.FinishHex();
    return bOk ? strHex : std::string();
}

// Whether the pack at the UTF-8 path strPath is sound, read through the pack code's own check.
bool s_IsSoundPack(const std::string& strPath) {
    std::string strAnsi = SystemAnsiPath(strPath);
    std::string strReason;
    return !strAnsi.empty() && s_IsPlainFile(strPath) && cobblepak::CheckPackFile(strAnsi.c_str(), strReason);
}

// A path relative to the game folder as the plan compares destinations.
std::string s_GameRelative(const std::string& strGamePath, const std::string& strRelative) {
    std::string strFolder, strName;
    SplitPackagePath(strRelative, &strFolder, &strName);
    return PackageDestFolder(strGamePath.c_str(), strFolder.c_str()).substr(strGamePath.size() + 1) + strName;
}

}  // namespace

int MakeInstallPlan(IKXmlNode* pRoot, const std::string& strGamePath, const std::string& strPackagePath,
                    IKMsgOutput* pMsgOutput, KInstallPlan* pPlan) {
    *pPlan = KInstallPlan();
    std::vector<KPackageMerge> aMerges;
    std::string strFault;
    if (!ReadPackageVersions(pRoot, &pPlan->aVersions, &strFault) || !ReadPackageMerges(pRoot, &aMerges, &strFault)) {
        s_AddLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
        return 0;
    }
    IKXmlNode* pFileList = pRoot ? pRoot->GetFirstChildByName("FileList") : nullptr;
    IKXmlNode* pFile = pFileList ? pFileList->GetFirstChildByName("File") : nullptr;
    if (!pFile && aMerges.empty() && pPlan->aVersions.empty()) {
        s_AddLine(pMsgOutput, IDS_COPY_FAILED);
        return 0;
    }

    std::set<std::wstring> setPlugins;
    for (const char* pszName : s_apszPluginFolders) {
        if (FolderExists((strGamePath + "\\" + pszName + "\\").c_str())) {
            pPlan->aPluginFolders.push_back(pszName);
            setPlugins.insert(s_FoldCase(pszName));
        }
    }
    // Whether a path relative to the game folder stands where it did once the plug-in folders
    // are set aside.
    auto fnSurvives = [&](const std::string& strRelative) {
        return !setPlugins.count(s_FoldCase(PackageFirstComponent(strRelative)));
    };

    std::set<std::wstring> setDests, setFolders;
    KListedFileReader reader;
    const char* szFilePath = reader.m_szFilePath;
    const char* szFileName = reader.m_szFileName;
    for (; pFile; pFile = pFile->GetNextSiblingByName("File")) {
        int bFits = reader.Read(pFile);
        if (!reader.m_bNamePresent || !szFileName[0]) {
            s_AddLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
            return 0;
        }
        DWORD dwRefusal = bFits ? CheckListedFile(strGamePath.c_str(), strPackagePath.c_str(), szFilePath, szFileName)
                                : ERROR_FILENAME_EXCED_RANGE;
        std::string strDestFolder = PackageDestFolder(strGamePath.c_str(), szFilePath);
        std::string strRelFolder = strDestFolder.substr(strGamePath.size() + 1);
        std::string strDest = strRelFolder + szFileName;
        std::vector<std::string> chain = FolderChain(strDestFolder.c_str());
        if (dwRefusal != ERROR_SUCCESS) {
            if (pMsgOutput)
                AddCopyErrorLine(pMsgOutput, szFilePath, szFileName, dwRefusal);
            return 0;
        }
        // A digest the copy could never match is refused here, before anything is set aside.
        if (reader.m_bSha256Present && !IsSha256Text(reader.m_strSha256.c_str())) {
            s_AddLine(pMsgOutput, IDS_DIGEST_MALFORMED, szFilePath, szFileName);
            return 0;
        }
        if (!s_IsPlainFile(strPackagePath + "\\" + szFilePath + szFileName)) {
            s_AddLine(pMsgOutput, IDS_SOURCE_MISSING, szFilePath, szFileName);
            return 0;
        }

        for (const std::string& strPrefix : chain) {
            if (strPrefix.size() <= strGamePath.size() + 1)
                continue;  // the game folder itself and the folders above it
            std::string strRelative = strPrefix.substr(strGamePath.size() + 1);
            bool bStands = fnSurvives(strRelative) && FolderExists(strPrefix.c_str());
            if (!bStands && setFolders.insert(s_FoldCase(strRelative)).second)
                pPlan->aNewFolders.push_back(strRelative);
        }

        KPlanFile planFile;
        planFile.strFilePath = szFilePath;
        planFile.strFileName = szFileName;
        planFile.strDest = strDest;
        planFile.strSha256 = reader.m_strSha256;
        DWORD dwDest = INVALID_FILE_ATTRIBUTES;
        if (!setDests.insert(s_FoldCase(strDest)).second) {
            planFile.chKind = 'D';
        } else {
            dwDest = fnSurvives(strDest) ? GetFileAttributesU8((strGamePath + "\\" + strDest).c_str()) : INVALID_FILE_ATTRIBUTES;
            planFile.chKind = dwDest != INVALID_FILE_ATTRIBUTES && !(dwDest & FILE_ATTRIBUTE_DIRECTORY) ? 'R' : 'N';
        }
        if (dwDest != INVALID_FILE_ATTRIBUTES && (dwDest & FILE_ATTRIBUTE_DIRECTORY)) {
            s_AddLine(pMsgOutput, IDS_COPY_ERR_FOLDER, szFilePath, szFileName);
            return 0;
        }
        pPlan->aFiles.push_back(planFile);
    }

    for (const KPackageMerge& merge : aMerges) {
        for (const std::string* pstrPath : {&merge.strSource, &merge.strTarget}) {
            DWORD dwRefusal = CheckPackagePackPath(strGamePath.c_str(), strPackagePath.c_str(), *pstrPath);
            if (dwRefusal != ERROR_SUCCESS) {
                std::string strFolder, strName;
                SplitPackagePath(*pstrPath, &strFolder, &strName);
                if (pMsgOutput)
                    AddCopyErrorLine(pMsgOutput, strFolder.c_str(), strName.c_str(), dwRefusal);
                return 0;
            }
        }
        KPlanPack pack;
        pack.strSource = merge.strSource;
        pack.strTarget = s_GameRelative(strGamePath, merge.strTarget);
        // A target that a File replaces or a plug-in folder takes away would be merged into
        // something else than the game's pack: the description is faulty.
        if (!fnSurvives(pack.strTarget) || setDests.count(s_FoldCase(pack.strTarget))) {
            s_AddLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
            return 0;
        }
        std::string strSource = strPackagePath + "\\" + merge.strSource;
        if (!s_IsPlainFile(strSource)) {
            std::string strFolder, strName;
            SplitPackagePath(merge.strSource, &strFolder, &strName);
            s_AddLine(pMsgOutput, IDS_SOURCE_MISSING, strFolder.c_str(), strName.c_str());
            return 0;
        }
        if (!s_IsSoundPack(strSource) || (!merge.strSha256.empty() && s_FileSha256(strSource) != merge.strSha256)) {
            s_AddLine(pMsgOutput, IDS_PACK_SOURCE_DAMAGED, merge.strSource.c_str());
            return 0;
        }
        std::string strTarget = strGamePath + "\\" + pack.strTarget;
        if (FileInUse(strTarget)) {
            s_AddLine(pMsgOutput, IDS_FILE_IN_USE, strTarget.c_str());
            return 0;
        }
        if (!s_IsSoundPack(strTarget) || !s_ReadPackState(strTarget, &pack.nLength, &pack.strHeader)) {
            s_AddLine(pMsgOutput, IDS_PACK_TARGET_DAMAGED, merge.strTarget.c_str());
            return 0;
        }
        pPlan->aPacks.push_back(pack);
    }
    if (!aMerges.empty() && !s_IsPlainFile(strPackagePath + "\\" COBBLEPAK_LIBRARY_NAME)) {
        s_AddLine(pMsgOutput, IDS_COBBLEPAK_MISSING);
        return 0;
    }
    if (!pPlan->aVersions.empty()) {
        const std::string strVersionFile = GAME_VERSION_FILE;
        if (FileInUse(strGamePath + "\\" + strVersionFile)) {
            s_AddLine(pMsgOutput, IDS_FILE_IN_USE, (strGamePath + "\\" + strVersionFile).c_str());
            return 0;
        }
        if (setDests.count(s_FoldCase(strVersionFile)))
            pPlan->chVersionFile = 'D';
        else
            pPlan->chVersionFile = s_IsPlainFile(strGamePath + "\\" + strVersionFile) ? 'R' : 'N';
    }
    return 1;
}

KInstallTransaction::KInstallTransaction(const std::string& strGamePath, const KInstallPlan& plan)
    : m_strGamePath(strGamePath),
      m_Plan(plan),
      m_uFile(0),
      m_uReached(plan.aFiles.size()),
      m_uPacksReached(plan.aPacks.size()),
      m_bVersionsReached(plan.chVersionFile != 0),
      m_bVersionFileTouched(plan.chVersionFile != 0),
      m_pRefused(nullptr),
      m_hLock(nullptr),
      m_bOwnsWork(true) {}

KInstallTransaction::~KInstallTransaction() {
    ReleaseLock();
}

void KInstallTransaction::ReleaseLock() {
    if (m_hLock)
        CloseHandle(m_hLock);
    m_hLock = nullptr;
}

std::string KInstallTransaction::Work(const std::string& strRelative) const {
    return s_WorkFolder(m_strGamePath) + "\\" + strRelative;
}

std::string KInstallTransaction::Game(const std::string& strRelative) const {
    return m_strGamePath + "\\" + strRelative;
}

int KInstallTransaction::Begin() {
    std::string strWork = s_WorkFolder(m_strGamePath);
    m_uReached = 0;
    m_pRefused = nullptr;
    m_bOwnsWork = false;
    m_uPacksReached = 0;
    m_bVersionsReached = false;
    m_bVersionFileTouched = false;
    s_Step();
    if (!CreateDirectoryU8(strWork.c_str()))
        return 0;
    m_bOwnsWork = true;
    // Now that the working folder exists it has a short name, and a folder of a destination may
    // name it that way: the journal and the commit mark would be written over. Each first folder
    // is resolved by the file system and compared with the working folder by identity.
    BY_HANDLE_FILE_INFORMATION work, other;
    if (s_FileIdentity(strWork, &work)) {
        std::set<std::wstring> setChecked;
        for (const KPlanFile& file : m_Plan.aFiles) {
            std::string strFirst = PackageFirstComponent(file.strDest);
            bool bInFolder = file.strDest.find_first_of("\\/", file.strDest.find(strFirst) + strFirst.size()) != std::string::npos;
            // A file of the game folder itself writes into no folder; each first folder once.
            if (!bInFolder || !setChecked.insert(s_FoldCase(strFirst)).second)
                continue;
            if (s_FileIdentity(Game(strFirst), &other) && other.dwVolumeSerialNumber == work.dwVolumeSerialNumber &&
                other.nFileIndexHigh == work.nFileIndexHigh && other.nFileIndexLow == work.nFileIndexLow) {
                m_pRefused = &file;
                RemoveDirectoryU8(strWork.c_str());
                SetLastError(ERROR_INVALID_NAME);
                return 0;
            }
        }
    }
    SetFileAttributesU8(strWork.c_str(), FILE_ATTRIBUTE_HIDDEN);
    // Deleted by the system when the handle closes, a killed run's too.
    HANDLE hLock = CreateFileU8(Work("lock").c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    if (hLock == INVALID_HANDLE_VALUE)
        return 0;
    m_hLock = hLock;
    if (!CreateDirectoryU8(Work("old").c_str()))
        return 0;
    // Written under another name and renamed: a journal is either whole or absent.
    if (!s_WriteFile(Work("journal.tmp"), s_JournalText(m_Plan), true))
        return 0;
    s_Step();
    return MoveFileExU8(Work("journal.tmp").c_str(), Work("journal").c_str(), MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int KInstallTransaction::SetAsidePluginFolder(const std::string& strName) {
    s_Step();
    return MoveFileU8(Game(strName).c_str(), Work("old\\" + strName).c_str()) ? 1 : 0;
}

int KInstallTransaction::MergePack(size_t uPack, const std::string& strPackagePath, const std::atomic<int>* pbStop) {
    const KPlanPack& pack = m_Plan.aPacks.at(uPack);
    m_uPacksReached = std::max(m_uPacksReached, uPack + 1);
    std::string strTarget = Game(pack.strTarget);
    std::string strSource = strPackagePath + "\\" + pack.strSource;
    s_Step();
    // The child holds the working folder's lock too: no recovery undoes the run while it writes.
    int nRun = MergePackInChild(strPackagePath, strTarget, strSource, pbStop, m_hLock);
    s_Step();
    if (nRun == KPACKMERGE_STOPPED)
        return KWRITE_STOPPED;
    if (nRun == KPACKMERGE_REFUSED) {
        // PackComb tells no cause: a held target or a full disk is told by the file and its disk.
        // The merge needs room for the source's bytes and the target's index written again.
        LARGE_INTEGER liSource = {};
        HANDLE hSource = CreateFileU8(strSource.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
        if (hSource != INVALID_HANDLE_VALUE) {
            GetFileSizeEx(hSource, &liSource);
            CloseHandle(hSource);
        }
        const unsigned char* pbyHeader = reinterpret_cast<const unsigned char*>(pack.strHeader.data());
        long long nTargetEntries = pbyHeader[4] | pbyHeader[5] << 8 | pbyHeader[6] << 16 | static_cast<long long>(pbyHeader[7]) << 24;
        if (FileInUse(strTarget))
            return KWRITE_IN_USE;
        return DiskLacksRoom(strTarget, liSource.QuadPart + nTargetEntries * 16) ? KWRITE_DISK_FULL : KWRITE_FAILED;
    }
    if (nRun != KPACKMERGE_DONE)
        return KWRITE_FAILED;
    std::string strReason;
    std::string strAnsiTarget = SystemAnsiPath(strTarget), strAnsiSource = SystemAnsiPath(strSource);
    return cobblepak::CheckMergedPackFile(strAnsiTarget.c_str(), strAnsiSource.c_str(), pack.nLength, strReason) ? KWRITE_DONE
                                                                                                               : KWRITE_FAILED;
}

int KInstallTransaction::WriteVersions() {
    std::string strFile = Game(GAME_VERSION_FILE);
    m_bVersionsReached = true;
    s_Step();
    std::string strBytes;
    if (!ReadGameVersionFile(strFile, &strBytes))
        return WriteOutcomeOfError(GetLastError());
    if (m_Plan.chVersionFile == 'R') {
        // A copy set aside whole under its final name before the first write: a rollback puts
        // back only a complete one.
        std::string strOld = Work("old\\" GAME_VERSION_FILE);
        if (!CopyFileW(Utf8ToWide(strFile).c_str(), Utf8ToWide(strOld + ".tmp").c_str(), FALSE))
            return WriteOutcomeOfError(GetLastError());
        s_Step();
        if (!MoveFileExU8((strOld + ".tmp").c_str(), strOld.c_str(), MOVEFILE_WRITE_THROUGH))
            return WriteOutcomeOfError(GetLastError());
    }
    std::string strNew = strBytes;
    for (const KPackageVersion& version : m_Plan.aVersions)
        strNew = SetGameVersion(strNew, version.strApplication, version.strVersion);
    s_Step();
    bool bTouched = false;
    int bWritten = WriteGameVersionFile(strFile, strNew, &bTouched);
    DWORD dwError = GetLastError();
    m_bVersionFileTouched = m_bVersionFileTouched || bTouched;
    return bWritten ? KWRITE_DONE : WriteOutcomeOfError(dwError);
}

std::string KInstallTransaction::TempPath(const std::string& strDestFile) {
    const KPlanFile& file = m_Plan.aFiles.at(m_uFile);
    BOOL bOk = TRUE;
    s_Step();
    if (file.chKind == 'R') {
        // A rename keeps the player's file whole, with its attributes, until the run is committed.
        bOk = MoveFileU8(strDestFile.c_str(), Work("old\\" + std::to_string(m_uFile)).c_str());
    } else if (file.chKind == 'D' && s_Exists(strDestFile)) {
        SetFileAttributesU8(strDestFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        bOk = DeleteFileU8(strDestFile.c_str());
    }
    // The bytes go straight to the destination: nothing of the player's stands there now, and
    // a rollback removes whatever stands at a destination that was not the player's.
    s_Step();
    return bOk ? strDestFile : std::string();
}

int KInstallTransaction::Place(const std::string&, const std::string&) {
    return 1;
}

int KInstallTransaction::Commit() {
    s_Step();
    // The mark's existence is the commit; the file system logs it before the removals that
    // follow. It is flushed only when those removals destroy the player's files: that flush
    // also writes out the new files' bytes on file systems that order data before metadata,
    // and costs a quarter of a second after half a gigabyte.
    bool bDestroys = !m_Plan.aPluginFolders.empty();
    for (const KPlanFile& file : m_Plan.aFiles)
        bDestroys = bDestroys || file.chKind == 'R';
    if (!s_WriteFile(Work("done"), "", bDestroys))
        return 0;
    ReleaseLock();
    s_RemoveWorkFolder(s_WorkFolder(m_strGamePath));
    return 1;
}

int KInstallTransaction::Rollback(IKMsgOutput* pMsgOutput) {
    if (!m_bOwnsWork)
        return 1;  // Begin touched nothing: the working folder there is another run's
    int bWhole = 1;
    // Backwards through the run: versions, packs, files, folders, plug-in folders.
    std::string strVersionFile = Game(GAME_VERSION_FILE);
    std::string strOldVersions = Work("old\\" GAME_VERSION_FILE);
    // Only a file the run may have written is put back, in place as it was written.
    std::string strOldBytes;
    bool bTouched = false;
    if (m_bVersionFileTouched && m_Plan.chVersionFile == 'R' && s_Exists(strOldVersions)) {
        if (!ReadGameVersionFile(strOldVersions, &strOldBytes) || !WriteGameVersionFile(strVersionFile, strOldBytes, &bTouched)) {
            s_AddLine(pMsgOutput, IDS_RESTORE_FAILED, strVersionFile.c_str(), strOldVersions.c_str());
            bWhole = 0;
        }
    } else if (m_bVersionFileTouched && m_Plan.chVersionFile == 'N' && !DeleteFileU8(strVersionFile.c_str()) &&
               GetLastError() != ERROR_FILE_NOT_FOUND) {
        s_AddLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strVersionFile.c_str());
        bWhole = 0;
    }
    for (size_t i = std::min(m_uPacksReached, m_Plan.aPacks.size()); i-- > 0;) {
        if (!s_RestorePack(Game(m_Plan.aPacks[i].strTarget), m_Plan.aPacks[i])) {
            s_AddLine(pMsgOutput, IDS_PACK_RESTORE_FAILED, Game(m_Plan.aPacks[i].strTarget).c_str());
            bWhole = 0;
        }
    }
    // Below a plug-in folder that was never set aside, everything is still the player's.
    std::vector<std::pair<std::wstring, bool>> setAside;
    for (const std::string& strName : m_Plan.aPluginFolders)
        setAside.emplace_back(s_FoldCase(strName), FolderExists(Work("old\\" + strName).c_str()) != 0);
    auto fnOurs = [&](const std::string& strRelative) {
        std::wstring wstrFirst = s_FoldCase(PackageFirstComponent(strRelative));
        for (const auto& folder : setAside) {
            if (folder.first == wstrFirst)
                return folder.second;
        }
        return true;
    };
    // Files written under "new" by installers that did not write at the destination.
    bool bNewFolder = FolderExists(Work("new").c_str()) != 0;
    // Backwards, so that a destination listed twice ends as its first entry found it. Entries
    // the run never reached are passed over: looking for what is not there costs Wine a search
    // of the folder each time.
    for (size_t i = std::min(m_uReached, m_Plan.aFiles.size()); i-- > 0;) {
        const KPlanFile& file = m_Plan.aFiles[i];
        std::string strDest = Game(file.strDest);
        if (bNewFolder)
            DeleteFileU8(Work("new\\" + std::to_string(i)).c_str());
        if (file.chKind == 'R') {
            // Only a file of the player's is ever set aside, under its entry's number.
            std::string strOld = Work("old\\" + std::to_string(i));
            if (!s_Exists(strOld))
                continue;  // never set aside: the player's file still stands
            if (s_Exists(strDest)) {
                SetFileAttributesU8(strDest.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileU8(strDest.c_str());
            }
            if (!MoveFileU8(strOld.c_str(), strDest.c_str())) {
                s_AddLine(pMsgOutput, IDS_RESTORE_FAILED, strDest.c_str(), strOld.c_str());
                bWhole = 0;
            }
        } else if (fnOurs(file.strDest) && !DeleteFileU8(strDest.c_str())) {
            // The files this run writes are never read-only; what else stands there is looked at
            // only when the plain removal fails.
            DWORD dwError = GetLastError();
            if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND || !s_IsPlainFile(strDest))
                continue;
            SetFileAttributesU8(strDest.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileU8(strDest.c_str())) {
                s_AddLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strDest.c_str());
                bWhole = 0;
            }
        }
    }
    for (size_t i = m_Plan.aNewFolders.size(); i-- > 0;) {
        std::string strFolder = Game(m_Plan.aNewFolders[i]);
        if (fnOurs(m_Plan.aNewFolders[i]) && FolderExists(strFolder.c_str()) && !RemoveDirectoryU8(strFolder.c_str())) {
            s_AddLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strFolder.c_str());
            bWhole = 0;
        }
    }
    for (const std::string& strName : m_Plan.aPluginFolders) {
        std::string strOld = Work("old\\" + strName);
        if (FolderExists(strOld.c_str()) && (FolderExists(Game(strName).c_str()) ||
                                              !MoveFileU8(strOld.c_str(), Game(strName).c_str()))) {
            s_AddLine(pMsgOutput, IDS_RESTORE_FAILED, Game(strName).c_str(), strOld.c_str());
            bWhole = 0;
        }
    }
    // What could not be put back stays in the working folder, with the journal, for the next start.
    ReleaseLock();
    if (bWhole)
        s_RemoveWorkFolder(s_WorkFolder(m_strGamePath));
    return bWhole;
}

int RecoverInterruptedInstall(const char* pszGamePath, IKMsgOutput* pMsgOutput) {
    if (!pszGamePath || !pszGamePath[0])
        return KRECOVERY_NONE;
    std::string strGamePath = StripTrailingSeparators(pszGamePath);
    std::string strWork = s_WorkFolder(strGamePath);
    if (!FolderExists(strWork.c_str()))
        return KRECOVERY_NONE;
    // A live run, reached through another spelling of the folder, holds its lock: its journal is
    // no interrupted installation.
    // A killed run's merge child ends a moment after it and holds the lock until then: it is
    // given a few seconds.
    for (int nTry = 0;; ++nTry) {
        HANDLE hLock = CreateFileU8((strWork + "\\lock").c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (hLock != INVALID_HANDLE_VALUE)
            CloseHandle(hLock);
        if (hLock != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        if (nTry == 50)
            return KRECOVERY_BUSY;
        Sleep(100);
    }
    if (s_Exists(strWork + "\\done")) {
        if (!s_RemoveWorkFolder(strWork)) {
            s_AddLine(pMsgOutput, IDS_WORK_FOLDER_STUCK, strWork.c_str());
            return KRECOVERY_FAILED;
        }
        s_AddLine(pMsgOutput, IDS_RECOVERED_COMPLETED);
        return KRECOVERY_COMPLETED;
    }
    if (!s_Exists(strWork + "\\journal")) {
        // Stopped before its first change: nothing of the player's was touched.
        if (!s_RemoveWorkFolder(strWork)) {
            s_AddLine(pMsgOutput, IDS_WORK_FOLDER_STUCK, strWork.c_str());
            return KRECOVERY_FAILED;
        }
        return KRECOVERY_NONE;
    }
    KInstallPlan plan;
    if (!s_ReadJournal(strWork + "\\journal", &plan)) {
        s_AddLine(pMsgOutput, IDS_RECOVERY_DAMAGED, strWork.c_str());
        return KRECOVERY_FAILED;
    }
    KInstallTransaction transaction(strGamePath, plan);
    if (!transaction.Rollback(pMsgOutput))
        return KRECOVERY_FAILED;
    s_AddLine(pMsgOutput, IDS_RECOVERED_UNDONE);
    return KRECOVERY_UNDONE;
}

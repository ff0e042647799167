#include "install/install_transaction.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "core/ansi_text.h"
#include "core/folder_exists.h"
#include "core/folder_path.h"
#include "core/sha256.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "install/file_copy.h"
#include "install/folder_cleanup.h"
#include "install/package_packs.h"
#include "install/pack_merge_process.h"
#include "install/package_rules.h"
#include "install/version_file.h"
#include "install/version_check.h"
#include "pack_check.h"
#include "xml/xml_document.h"

std::atomic<int> g_nInstallStepsLeft(-1);

namespace {


// The journal's paths are UTF-8. A journal of an earlier installer (header 1) holds them in the
// system's ANSI code page and is still read.
const char s_szJournalHeader[] = "MENDWRIGHT JOURNAL 2";
// A journal with packs or versions (lines K and V), which installers of header 2 cannot undo.
const char s_szPackJournalHeader[] = "MENDWRIGHT JOURNAL 3";
// A journal with deletions (lines X), which installers of headers 2 and 3 cannot undo.
const char s_szDeleteJournalHeader[] = "MENDWRIGHT JOURNAL 4";
const char s_szAnsiJournalHeader[] = "MENDWRIGHT JOURNAL 1";

// Counts one file-system change of a run for the test seam.
void s_Step() {
    int nLeft = g_nInstallStepsLeft.load();
    if (nLeft < 0)
        return;
    if (nLeft == 0)
        throw KInstallAbandoned();
    g_nInstallStepsLeft = nLeft - 1;
}

bool s_Exists(const std::string& strPath) {
    return GetFileAttributesU8(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    const char* pszHeader = !plan.aDeletes.empty() ? s_szDeleteJournalHeader : bPacks ? s_szPackJournalHeader : s_szJournalHeader;
    std::string strText = std::string(pszHeader) + "\n";
    for (const std::string& strName : plan.aPluginFolders)
        strText += "P\t" + strName + "\n";
    for (const KPlanDelete& del : plan.aDeletes)
        strText += std::string("X\t") + (del.bFolder ? "D" : "F") + "\t" + del.strPath + "\n";
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
// A folder's ends in a backslash, which the name rules take for a FileName's: they judge it
// without.
bool s_IsSafeRelative(const std::string& strRelative) {
    size_t uEnd = strRelative.find_last_not_of("\\/");
    return !strRelative.empty() && strRelative[0] != '\\' && strRelative[0] != '/' && uEnd != std::string::npos &&
           CheckListedFile("C:", "C:", "", strRelative.substr(0, uEnd + 1).c_str()) == ERROR_SUCCESS;
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
            if (strLine != s_szJournalHeader && strLine != s_szPackJournalHeader && strLine != s_szDeleteJournalHeader)
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
        } else if (strLine.size() > 4 && strLine.compare(0, 2, "X\t") == 0 && strLine[3] == '\t' &&
                   (strLine[2] == 'D' || strLine[2] == 'F')) {
            KPlanDelete del = {strLine.substr(4), strLine[2] == 'D'};
            if (!s_IsSafeRelative(del.strPath))
                return false;
            pPlan->aDeletes.push_back(del);
        } else if (strLine.compare(0, 2, "P\t") == 0) {
            std::string strName = strLine.substr(2);
            if (strName != g_apszPluginFolders[0] && strName != g_apszPluginFolders[1])
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

// Puts a merged pack back as it was before the run: cut to its old length, then its old header.
// A pack that is already so is not written. False when it cannot be: the file is gone, shorter
// than it was, or refuses the writes.
bool s_RestorePack(const std::string& strPath, const KPlanPack& pack) {
    long long nLength = 0;
    std::string strHeader;
    if (!ReadPackState(strPath, &nLength, &strHeader) || nLength < pack.nLength)
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

}  // namespace

KInstallTransaction::KInstallTransaction(const std::string& strGamePath, const KInstallPlan& plan)
    : m_strGamePath(strGamePath),
      m_Plan(plan),
      m_uFile(0),
      m_uReached(plan.aFiles.size()),
      m_uPacksReached(plan.aPacks.size()),
      m_uDeletesReached(plan.aDeletes.size()),
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
    m_uDeletesReached = 0;
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
        std::set<std::string> setChecked;
        for (const KPlanFile& file : m_Plan.aFiles) {
            std::string strFirst = PackageFirstComponent(file.strDest);
            bool bInFolder = file.strDest.find_first_of("\\/", file.strDest.find(strFirst) + strFirst.size()) != std::string::npos;
            // A file of the game folder itself writes into no folder; each first folder once.
            if (!bInFolder || !setChecked.insert(FoldNameCase(strFirst)).second)
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

int KInstallTransaction::SetAsideDeletion(size_t uDelete) {
    const KPlanDelete& del = m_Plan.aDeletes.at(uDelete);
    m_uDeletesReached = std::max(m_uDeletesReached, uDelete + 1);
    s_Step();
    return MoveFileU8(Game(del.strPath).c_str(), Work("old\\x" + std::to_string(uDelete)).c_str()) ? 1 : 0;
}

int KInstallTransaction::MergePack(size_t uPack, const std::string& strPackagePath, const std::atomic<int>* pbStop,
                                   KPackMergeChild* pStarted) {
    const KPlanPack& pack = m_Plan.aPacks.at(uPack);
    m_uPacksReached = std::max(m_uPacksReached, uPack + 1);
    std::string strTarget = Game(pack.strTarget);
    std::string strSource = strPackagePath + "\\" + pack.strSource;
    s_Step();
    // The child holds the working folder's lock too: no recovery undoes the run while it writes.
    int nRun = pStarted && pStarted->IsFor(strPackagePath) ? pStarted->Merge(strTarget, strSource, pbStop, m_hLock)
                                                           : MergePackInChild(strPackagePath, strTarget, strSource, pbStop, m_hLock);
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
    bool bDestroys = !m_Plan.aPluginFolders.empty() || !m_Plan.aDeletes.empty();
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
    // Backwards through the run: versions, packs, files, folders, deletions, plug-in folders.
    std::string strVersionFile = Game(GAME_VERSION_FILE);
    std::string strOldVersions = Work("old\\" GAME_VERSION_FILE);
    // Only a file the run may have written is put back, in place as it was written.
    std::string strOldBytes;
    bool bTouched = false;
    if (m_bVersionFileTouched && m_Plan.chVersionFile == 'R' && s_Exists(strOldVersions)) {
        if (!ReadGameVersionFile(strOldVersions, &strOldBytes) || !WriteGameVersionFile(strVersionFile, strOldBytes, &bTouched)) {
            AddCatalogueLine(pMsgOutput, IDS_RESTORE_FAILED, strVersionFile.c_str(), strOldVersions.c_str());
            bWhole = 0;
        }
    } else if (m_bVersionFileTouched && m_Plan.chVersionFile == 'N' && !DeleteFileU8(strVersionFile.c_str()) &&
               GetLastError() != ERROR_FILE_NOT_FOUND) {
        AddCatalogueLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strVersionFile.c_str());
        bWhole = 0;
    }
    for (size_t i = std::min(m_uPacksReached, m_Plan.aPacks.size()); i-- > 0;) {
        if (!s_RestorePack(Game(m_Plan.aPacks[i].strTarget), m_Plan.aPacks[i])) {
            AddCatalogueLine(pMsgOutput, IDS_PACK_RESTORE_FAILED, Game(m_Plan.aPacks[i].strTarget).c_str());
            bWhole = 0;
        }
    }
    // Below a plug-in folder that was never set aside, everything is still the player's.
    std::vector<std::pair<std::string, bool>> setAside;
    for (const std::string& strName : m_Plan.aPluginFolders)
        setAside.emplace_back(FoldNameCase(strName), FolderExists(Work("old\\" + strName).c_str()) != 0);
    auto fnOurs = [&](const std::string& strRelative) {
        std::string strFirst = FoldNameCase(PackageFirstComponent(strRelative));
        for (const auto& folder : setAside) {
            if (folder.first == strFirst)
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
                AddCatalogueLine(pMsgOutput, IDS_RESTORE_FAILED, strDest.c_str(), strOld.c_str());
                bWhole = 0;
            }
        } else if (fnOurs(file.strDest) && !DeleteFileU8(strDest.c_str())) {
            // The files this run writes are never read-only; what else stands there is looked at
            // only when the plain removal fails.
            DWORD dwError = GetLastError();
            if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND || !PlainFileExists(strDest.c_str()))
                continue;
            SetFileAttributesU8(strDest.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileU8(strDest.c_str())) {
                AddCatalogueLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strDest.c_str());
                bWhole = 0;
            }
        }
    }
    for (size_t i = m_Plan.aNewFolders.size(); i-- > 0;) {
        std::string strFolder = Game(m_Plan.aNewFolders[i]);
        if (fnOurs(m_Plan.aNewFolders[i]) && FolderExists(strFolder.c_str()) && !RemoveDirectoryU8(strFolder.c_str())) {
            AddCatalogueLine(pMsgOutput, IDS_RESTORE_REMOVE_FAILED, strFolder.c_str());
            bWhole = 0;
        }
    }
    // What the DeleteList set aside goes back where it stood (nothing of the run's can stand there:
    // no File or pack of the package lies at or below a Delete).
    for (size_t i = std::min(m_uDeletesReached, m_Plan.aDeletes.size()); i-- > 0;) {
        std::string strOld = Work("old\\x" + std::to_string(i));
        std::string strPath = Game(m_Plan.aDeletes[i].strPath);
        if (s_Exists(strOld) && (s_Exists(strPath) || !MoveFileU8(strOld.c_str(), strPath.c_str()))) {
            AddCatalogueLine(pMsgOutput, IDS_RESTORE_FAILED, strPath.c_str(), strOld.c_str());
            bWhole = 0;
        }
    }
    for (const std::string& strName : m_Plan.aPluginFolders) {
        std::string strOld = Work("old\\" + strName);
        if (FolderExists(strOld.c_str()) && (FolderExists(Game(strName).c_str()) ||
                                              !MoveFileU8(strOld.c_str(), Game(strName).c_str()))) {
            AddCatalogueLine(pMsgOutput, IDS_RESTORE_FAILED, Game(strName).c_str(), strOld.c_str());
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
            AddCatalogueLine(pMsgOutput, IDS_WORK_FOLDER_STUCK, strWork.c_str());
            return KRECOVERY_FAILED;
        }
        AddCatalogueLine(pMsgOutput, IDS_RECOVERED_COMPLETED);
        return KRECOVERY_COMPLETED;
    }
    if (!s_Exists(strWork + "\\journal")) {
        // Stopped before its first change: nothing of the player's was touched.
        if (!s_RemoveWorkFolder(strWork)) {
            AddCatalogueLine(pMsgOutput, IDS_WORK_FOLDER_STUCK, strWork.c_str());
            return KRECOVERY_FAILED;
        }
        return KRECOVERY_NONE;
    }
    KInstallPlan plan;
    if (!s_ReadJournal(strWork + "\\journal", &plan)) {
        AddCatalogueLine(pMsgOutput, IDS_RECOVERY_DAMAGED, strWork.c_str());
        return KRECOVERY_FAILED;
    }
    KInstallTransaction transaction(strGamePath, plan);
    if (!transaction.Rollback(pMsgOutput))
        return KRECOVERY_FAILED;
    AddCatalogueLine(pMsgOutput, IDS_RECOVERED_UNDONE);
    return KRECOVERY_UNDONE;
}

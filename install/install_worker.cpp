#include "install/install_worker.h"

#include <cstring>
#include <string>

#include "app/shell_ctrl.h"
#include "core/folder_exists.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "install/file_copy.h"
#include "install/folder_cleanup.h"
#include "xml/xml_document.h"

namespace {

// A game folder longer than this leaves no room for "\interface2\" within MAX_PATH.
enum { MAX_GAME_PATH = 245 };

// The texts of the plug-in cleanup are not in the catalogue; they are written here in UTF-8 and
// handed out in the ANSI code page, converted once.
std::string s_AnsiText(const char* pszUtf8) {
    int nWide = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, nullptr, 0);
    std::wstring wstrText(static_cast<size_t>(nWide > 0 ? nWide : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, &wstrText[0], nWide);
    int nAnsi = WideCharToMultiByte(CP_ACP, 0, wstrText.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string strText(static_cast<size_t>(nAnsi > 0 ? nAnsi : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, wstrText.c_str(), -1, &strText[0], nAnsi, nullptr, nullptr);
    strText.resize(std::strlen(strText.c_str()));
    return strText;
}

struct KPluginFolder {
    const char* pszName;
    const char* pszFailed;
    const char* pszRemoved;
};

const KPluginFolder& s_PluginFolder(int nIndex) {
    static const std::string s_strFailed1 = s_AnsiText(u8"清除老插件interface失败！可能有文件被占用，无法删除");
    static const std::string s_strRemoved1 = s_AnsiText(u8"清除老插件interface成功！");
    static const std::string s_strFailed2 = s_AnsiText(u8"清除老插件interface2失败！可能有文件被占用，无法删除");
    static const std::string s_strRemoved2 = s_AnsiText(u8"清除老插件interface2成功！");
    static const KPluginFolder s_aFolders[2] = {
        {"interface", s_strFailed1.c_str(), s_strRemoved1.c_str()},
        {"interface2", s_strFailed2.c_str(), s_strRemoved2.c_str()},
    };
    return s_aFolders[nIndex];
}

// Reads the text of pFile's child pszName into pszBuf (KXML_TEXT_SIZE bytes). A missing child
// leaves pszBuf as the previous File left it; a child without text empties it. 0 when the text
// does not fit the buffer.
int s_ReadFileField(IKXmlNode* pFile, const char* pszName, char* pszBuf) {
    IKXmlNode* pField = pFile->GetFirstChildByName(pszName);
    if (!pField)
        return 1;
    pszBuf[0] = '\0';
    const char* pszWhole = pField->GetChildText(nullptr, pszBuf);
    return !pszWhole || std::strlen(pszWhole) < KXML_TEXT_SIZE;
}

// Waits up to uMs for hThread to end while carrying out the messages that other threads send to
// this thread's windows (the worker's synchronous requests). True when the thread has ended.
bool s_WaitServicingRequests(HANDLE hThread, DWORD uMs) {
    DWORD uStart = GetTickCount();
    for (;;) {
        DWORD uElapsed = GetTickCount() - uStart;
        DWORD uLeft = uMs == INFINITE ? INFINITE : uElapsed < uMs ? uMs - uElapsed : 0;
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, uLeft, QS_SENDMESSAGE);
        if (dwWait == WAIT_OBJECT_0)
            return true;
        if (dwWait == WAIT_OBJECT_0 + 1) {
            // Delivers the sent messages only; posted ones stay queued for the owner's loop.
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (dwWait == WAIT_FAILED)
            return WaitForSingleObject(hThread, uLeft) == WAIT_OBJECT_0;
        return false;  // timed out
    }
}

// One run of the worker. Returns when it reaches an end point: with OnInstallEnd after a result,
// without it when a stop was requested.
class KInstallRun {
public:
    explicit KInstallRun(KInstallWorker* pWorker) : m_pWorker(pWorker), m_pShellCtrl(pWorker->m_pShellCtrl) {}

    void Run();

private:
    void End(int nResult) {
        m_pShellCtrl->OnInstallEnd(nResult);
        m_pWorker->m_bFinished = 1;
    }
    void EndStopped() { m_pWorker->m_bFinished = 1; }
    bool StopRequested() const { return m_pWorker->m_bStopRequested.load() != 0; }
    // 0 when a plug-in folder exists and cannot be removed (reported), else 1.
    int RemovePluginFolder(const KPluginFolder& folder);
    // Copies the File elements of the FileList in order; the copy result of the last one (0 when
    // there is none). *pbEnded is set when the run has ended inside.
    int CopyFiles(IKXmlNode* pRoot, bool* pbEnded);

    KInstallWorker* m_pWorker;
    IKShellCtrl* m_pShellCtrl;
    std::string m_strGamePath;
    std::string m_strPackagePath;
};

void KInstallRun::Run() {
    m_pShellCtrl->OnInstallBegin();
    m_pShellCtrl->AddMessage(GetString(IDS_COPY_START));
    m_pShellCtrl->AddMessage(std::string(48, '-').c_str());

    KUpdateInstaller* pInstaller = m_pShellCtrl->GetUpdateInstaller();
    IKXmlNode* pRoot = pInstaller && pInstaller->m_pXmlDoc ? pInstaller->m_pXmlDoc->GetRootElement("Root") : nullptr;
    if (!pRoot) {
        m_pShellCtrl->ReportError(GetString(IDS_DESCRIPTION_FAULTY));
        End(0);
        return;
    }

    const char* pszGamePath = m_pShellCtrl->GetGamePath();
    const char* pszPackagePath = m_pShellCtrl->GetPackagePath();
    m_strGamePath = pszGamePath ? pszGamePath : "";
    m_strPackagePath = pszPackagePath ? pszPackagePath : "";
    if (m_strGamePath.size() > MAX_GAME_PATH) {
        m_pShellCtrl->AddMessage(GetString(IDS_GAME_PATH_WRONG));
        End(0);
        return;
    }

    for (int i = 0; i < 2; ++i) {
        if (!RemovePluginFolder(s_PluginFolder(i))) {
            End(0);
            return;
        }
        if (StopRequested()) {
            EndStopped();
            return;
        }
    }

    bool bEnded = false;
    int nCopyResult = CopyFiles(pRoot, &bEnded);
    if (bEnded)
        return;
    m_pShellCtrl->ShowProgress(0);
    m_pShellCtrl->AddMessage(GetString(nCopyResult ? IDS_COPY_DONE : IDS_COPY_FAILED));
    m_pShellCtrl->AddMessage(std::string(54, '-').c_str());
    End(nCopyResult);
}

int KInstallRun::RemovePluginFolder(const KPluginFolder& folder) {
    std::string strPath = m_strGamePath + "\\" + folder.pszName + "\\";
    if (!FolderExists(strPath.c_str()))
        return 1;
    if (!DeleteFolderTree(strPath.c_str())) {
        m_pShellCtrl->AddMessage(folder.pszFailed);
        return 0;
    }
    m_pShellCtrl->AddMessage(folder.pszRemoved);
    return 1;
}

int KInstallRun::CopyFiles(IKXmlNode* pRoot, bool* pbEnded) {
    int nCopyResult = 0;
    IKXmlNode* pFileList = pRoot->GetFirstChildByName("FileList");
    if (!pFileList)
        return 0;
    char szFilePath[KXML_TEXT_SIZE] = {0};
    char szFileName[KXML_TEXT_SIZE] = {0};
    for (IKXmlNode* pFile = pFileList->GetFirstChildByName("File"); pFile;
         pFile = pFile->GetNextSiblingByName("File")) {
        if (StopRequested()) {
            EndStopped();
            *pbEnded = true;
            return 0;
        }
        int bPathFits = s_ReadFileField(pFile, "FilePath", szFilePath);
        int bNameFits = s_ReadFileField(pFile, "FileName", szFileName);
        if (bPathFits && bNameFits)
            nCopyResult = CopyPackageFile(m_pShellCtrl, m_strGamePath.c_str(), m_strPackagePath.c_str(), szFilePath,
                                          szFileName, &m_pWorker->m_bStopRequested);
        else
            nCopyResult = RefusePackageFile(m_pShellCtrl, m_strGamePath.c_str(), szFilePath, szFileName,
                                            ERROR_FILENAME_EXCED_RANGE);
        if (!nCopyResult) {
            *pbEnded = true;
            if (StopRequested()) {
                EndStopped();
                return 0;
            }
            m_pShellCtrl->AddMessage(GetString(IDS_RETRY_OR_DOWNLOAD));
            End(0);
            return 0;
        }
    }
    return nCopyResult;
}

}  // namespace

KInstallWorker::KInstallWorker() : m_pShellCtrl(nullptr), m_hThread(nullptr), m_bFinished(0), m_bStopRequested(0) {}

KInstallWorker::~KInstallWorker() {
    Stop();
}

int KInstallWorker::Start() {
    if (m_hThread) {
        if (!m_bFinished)
            return 0;  // a worker of this block still runs
        Stop();        // the last run's thread: let it end and close its handle
    }
    m_bFinished = 0;
    m_bStopRequested = 0;
    m_hThread = CreateThread(nullptr, 0, InstallThreadProc, this, 0, nullptr);
    return m_hThread ? 1 : 0;
}

int KInstallWorker::Stop() {
    if (!m_hThread)
        return 1;
    // Called from the worker itself (through a report it makes): it cannot wait for itself.
    if (GetThreadId(m_hThread) == GetCurrentThreadId()) {
        m_bStopRequested = 1;
        return 1;
    }
    if (!m_bFinished) {
        m_bStopRequested = 1;
        if (!s_WaitServicingRequests(m_hThread, STOP_WAIT_MS)) {
            // Last resort: a worker stuck in a single copy (or a request nobody answers).
            TerminateThread(m_hThread, 0);
            m_bFinished = 1;
        }
    }
    // A worker past its end point only unwinds; a terminated one ends at once.
    DWORD dwExitCode = 0;
    if (GetExitCodeThread(m_hThread, &dwExitCode) && dwExitCode == STILL_ACTIVE)
        s_WaitServicingRequests(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    return 1;
}

DWORD WINAPI KInstallWorker::InstallThreadProc(LPVOID pParam) {
    KInstallWorker* pWorker = static_cast<KInstallWorker*>(pParam);
    if (!pWorker)
        return 0;
    if (!pWorker->m_pShellCtrl) {
        pWorker->m_bFinished = 1;
        return 0;
    }
    try {
        KInstallRun(pWorker).Run();
    } catch (...) {
        // Nothing thrown may end the process: the run counts as failed.
        if (!pWorker->m_bFinished) {
            pWorker->m_pShellCtrl->OnInstallEnd(0);
            pWorker->m_bFinished = 1;
        }
    }
    return 0;
}

#include "install/pack_merge_process.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/command_line.h"
#include "core/library_search.h"
#include "core/win_text.h"
#include "install/package_packs.h"
#include "packcomb.h"

namespace {

// The child's exit codes for the ends it reports itself, KPackMergeRun added to this base: far
// from the small codes a library's exit() and the exception codes a crash end a process with.
const DWORD s_dwExitBase = 0x4D570000;
// How often the wait for the child looks at the stop flag.
const DWORD s_dwStopPollMs = 100;
// How long a child may take to load the library.
const ULONGLONG s_dwLoadWaitMs = 60000;
// The names of the child's two events and of the block that hands it the paths, after its job's
// name. The block holds the target's and the source's UTF-8 paths, each ended by a zero byte.
const wchar_t s_wszLoaded[] = L"-loaded";
const wchar_t s_wszGo[] = L"-go";
const wchar_t s_wszPaths[] = L"-paths";
const DWORD s_dwPathsBytes = 2 * (3 * 32768 + 1);

std::wstring s_ProgramPath() {
    std::vector<wchar_t> buffer(32768);
    DWORD dwLen = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return dwLen && dwLen < buffer.size() ? std::wstring(buffer.data(), dwLen) : std::wstring();
}

// A new job of name wstrName that ends every process in it when its last handle closes, and lets
// no unhandled exception in them start the system's debugger; null when the system makes none or
// a job of that name exists.
HANDLE s_MakeEndingJob(const std::wstring& wstrName) {
    HANDLE hJob = CreateJobObjectW(nullptr, wstrName.c_str());
    if (hJob && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hJob);
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (hJob && !SetInformationJobObject(hJob, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        CloseHandle(hJob);
        hJob = nullptr;
    }
    return hJob;
}

// The child's watch over the installer: ends the child when the installer has ended.
DWORD WINAPI s_EndWithInstaller(LPVOID pInstaller) {
    WaitForSingleObject(static_cast<HANDLE>(pInstaller), INFINITE);
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
}

// The top-level filter of the child: ends the process at once with the exception's code, without
// the debugger or report the system would otherwise start for an unhandled exception.
LONG WINAPI s_EndOnException(EXCEPTION_POINTERS* pInfo) {
    TerminateProcess(GetCurrentProcess(), pInfo && pInfo->ExceptionRecord ? pInfo->ExceptionRecord->ExceptionCode : 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool KPackMergeChild::Start(const std::string& strLibraryFolder) {
    End();
    m_strLibraryFolder = strLibraryFolder;
    return StartNow();
}

bool KPackMergeChild::StartNow() {
    const std::string strLibraryFolder = m_strLibraryFolder;
    std::wstring wstrProgram = s_ProgramPath();
    if (wstrProgram.empty())
        return false;
    std::wstring wstrFolder = wstrProgram.substr(0, wstrProgram.find_last_of(L'\\') + 1);
    // Named after this process and the moment, so that the child can find them. Process ids come
    // back at once (under Wine), and a name whose object another process still holds would hand
    // this run that process's job, events and paths: only objects made here and now are used.
    static std::atomic<unsigned> s_uJobs(0);
    std::wstring wstrJob;
    for (int nTry = 0; nTry < 8 && !m_hPaths; ++nTry) {
        Release();
        LARGE_INTEGER liNow = {};
        QueryPerformanceCounter(&liNow);
        wstrJob = L"MendwrightMerge-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(liNow.QuadPart) +
                  L"-" + std::to_wstring(++s_uJobs);
        m_hJob = s_MakeEndingJob(wstrJob);
        bool bFresh = m_hJob != nullptr;
        m_hLoaded = CreateEventW(nullptr, TRUE, FALSE, (wstrJob + s_wszLoaded).c_str());
        bFresh = bFresh && m_hLoaded && GetLastError() != ERROR_ALREADY_EXISTS;
        m_hGo = CreateEventW(nullptr, TRUE, FALSE, (wstrJob + s_wszGo).c_str());
        bFresh = bFresh && m_hGo && GetLastError() != ERROR_ALREADY_EXISTS;
        HANDLE hPaths =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, s_dwPathsBytes, (wstrJob + s_wszPaths).c_str());
        bFresh = bFresh && hPaths && GetLastError() != ERROR_ALREADY_EXISTS;
        m_hPaths = hPaths;
        if (!bFresh && hPaths) {
            CloseHandle(hPaths);
            m_hPaths = nullptr;
        }
    }
    std::wstring wstrCommand = QuoteCommandArgument(wstrProgram) + L" " + Utf8ToWide(PACK_MERGE_ARGUMENT) + L" " +
                               std::to_wstring(GetCurrentProcessId()) + L" " + wstrJob + L" " +
                               QuoteCommandArgument(Utf8ToWide(strLibraryFolder));

    // No standard handles: a child must hold none of the installer's pipes (a front end reading
    // the installer's output to its end would wait for the child too). No console either: the
    // child writes nothing, and a console of its own would cost the start of its host process.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    if (!m_hPaths ||
        !CreateProcessW(wstrProgram.c_str(), &wstrCommand[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        wstrFolder.c_str(), &startup, &process)) {
        DWORD dwError = GetLastError();
        Release();
        SetLastError(dwError);
        return false;
    }
    m_hProcess = process.hProcess;
    CloseHandle(process.hThread);
    // The child waits until it is in the job (or this process has ended) before it loads anything.
    if (!AssignProcessToJobObject(m_hJob, m_hProcess)) {
        DWORD dwError = GetLastError();
        Release();
        SetLastError(dwError);
        return false;
    }
    return true;
}

bool KPackMergeChild::IsFor(const std::string& strLibraryFolder) const {
    return m_hProcess && m_strLibraryFolder == strLibraryFolder;
}

int KPackMergeChild::WaitLoaded(const std::atomic<int>* pbStop) {
    if (!m_hProcess)
        return KPACKMERGE_NOT_STARTED;
    HANDLE ahWait[2] = {m_hLoaded, m_hProcess};
    DWORD dwWait;
    ULONGLONG uStart = GetTickCount64();
    while ((dwWait = WaitForMultipleObjects(2, ahWait, FALSE, s_dwStopPollMs)) == WAIT_TIMEOUT) {
        if (pbStop && pbStop->load()) {
            End();
            return KPACKMERGE_STOPPED;
        }
        // A child that neither loads the library nor ends is a library that hangs in its start.
        if (GetTickCount64() - uStart > s_dwLoadWaitMs) {
            End();
            return KPACKMERGE_NO_LIBRARY;
        }
    }
    return dwWait == WAIT_OBJECT_0 ? static_cast<int>(KPACKMERGE_DONE) : WaitEnd(pbStop);
}

int KPackMergeChild::Merge(const std::string& strTarget, const std::string& strSource, const std::atomic<int>* pbStop,
                           void* hLock) {
    if (!m_hProcess)
        return KPACKMERGE_NOT_STARTED;
    bool bHanded = strTarget.size() + strSource.size() + 2 <= s_dwPathsBytes;
    if (bHanded) {
        char* pchPaths = static_cast<char*>(MapViewOfFile(m_hPaths, FILE_MAP_WRITE, 0, 0, 0));
        bHanded = pchPaths != nullptr;
        if (bHanded) {
            std::memcpy(pchPaths, strTarget.c_str(), strTarget.size() + 1);
            std::memcpy(pchPaths + strTarget.size() + 1, strSource.c_str(), strSource.size() + 1);
            UnmapViewOfFile(pchPaths);
        }
    } else {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    }
    HANDLE hChildLock = nullptr;
    if (!bHanded ||
        (hLock && !DuplicateHandle(GetCurrentProcess(), hLock, m_hProcess, &hChildLock, 0, FALSE, DUPLICATE_SAME_ACCESS)) ||
        !SetEvent(m_hGo)) {
        DWORD dwError = GetLastError();
        End();
        SetLastError(dwError);
        return KPACKMERGE_NOT_STARTED;
    }
    return WaitEnd(pbStop);
}

int KPackMergeChild::WaitEnd(const std::atomic<int>* pbStop) {
    while (WaitForSingleObject(m_hProcess, pbStop ? s_dwStopPollMs : INFINITE) == WAIT_TIMEOUT) {
        if (pbStop && pbStop->load()) {
            End();
            return KPACKMERGE_STOPPED;
        }
    }
    DWORD dwExit = 0;
    bool bExit = GetExitCodeProcess(m_hProcess, &dwExit) != 0;
    End();
    DWORD dwRun = dwExit - s_dwExitBase;
    return bExit && dwRun <= KPACKMERGE_NO_LIBRARY ? static_cast<int>(dwRun) : KPACKMERGE_CRASHED;
}

void KPackMergeChild::End() {
    Release();
    m_strLibraryFolder.clear();
}

void KPackMergeChild::Release() {
    if (m_hProcess) {
        TerminateProcess(m_hProcess, 1);
        WaitForSingleObject(m_hProcess, INFINITE);
    }
    for (void** phHandle : {&m_hProcess, &m_hJob, &m_hLoaded, &m_hGo, &m_hPaths}) {
        if (*phHandle)
            CloseHandle(*phHandle);
        *phHandle = nullptr;
    }
}

int MergePackInChild(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
                     const std::atomic<int>* pbStop, void* hLock) {
    KPackMergeChild child;
    if (!child.Start(strLibraryFolder))
        return KPACKMERGE_NOT_STARTED;
    return child.Merge(strTarget, strSource, pbStop, hLock);
}

int RunPackMergeChild() {
    std::vector<std::string> args;
    for (const std::wstring& wstrArgument : SplitCommandLine(GetCommandLineW()))
        args.push_back(WideToUtf8(wstrArgument.c_str()));
    if (args.size() != 5 || args[1] != PACK_MERGE_ARGUMENT)
        return -1;
    // Nothing runs before this process is in the installer's job, which ends it with the
    // installer; should the installer end first, neither does anything here.
    HANDLE hInstaller = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                    static_cast<DWORD>(std::strtoul(args[2].c_str(), nullptr, 10)));
    // An id comes back at once once its process has ended: a process that began after this one is
    // not the installer that started it.
    FILETIME ftInstaller = {}, ftSelf = {}, ftUnused;
    if (hInstaller && (!GetProcessTimes(hInstaller, &ftInstaller, &ftUnused, &ftUnused, &ftUnused) ||
                       !GetProcessTimes(GetCurrentProcess(), &ftSelf, &ftUnused, &ftUnused, &ftUnused) ||
                       CompareFileTime(&ftInstaller, &ftSelf) > 0))
        return static_cast<int>(s_dwExitBase + KPACKMERGE_REFUSED);
    std::wstring wstrJob = Utf8ToWide(args[3]);
    HANDLE hJob = OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, wstrJob.c_str());
    BOOL bInJob = FALSE;
    while (hInstaller && hJob && IsProcessInJob(GetCurrentProcess(), hJob, &bInJob) && !bInJob) {
        if (WaitForSingleObject(hInstaller, 5) != WAIT_TIMEOUT)
            return static_cast<int>(s_dwExitBase + KPACKMERGE_REFUSED);
    }
    if (!bInJob)
        return static_cast<int>(s_dwExitBase + KPACKMERGE_REFUSED);
    // Where the job does not end its processes with the installer (Wine 8), this process ends
    // itself as soon as the installer has ended.
    CloseHandle(CreateThread(nullptr, 0, s_EndWithInstaller, hInstaller, 0, nullptr));
    args.erase(args.begin() + 2, args.begin() + 4);

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(s_EndOnException);
    RestrictLibrarySearch(false);
    HMODULE hLibrary = LoadLibraryInFolder(args[2].c_str(), COBBLEPAK_LIBRARY_NAME);
    PFN_PACKCOMB pfnPackComb =
        hLibrary ? reinterpret_cast<PFN_PACKCOMB>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "PackComb"))) : nullptr;
    if (!pfnPackComb)
        return static_cast<int>(s_dwExitBase + KPACKMERGE_NO_LIBRARY);
    // Says that the library is there, then waits for the word to merge and the paths (the watch
    // above ends this process should the installer end first).
    HANDLE hLoaded = OpenEventW(EVENT_MODIFY_STATE, FALSE, (wstrJob + s_wszLoaded).c_str());
    HANDLE hGo = OpenEventW(SYNCHRONIZE, FALSE, (wstrJob + s_wszGo).c_str());
    if (!hLoaded || !hGo || !SetEvent(hLoaded) || WaitForSingleObject(hGo, INFINITE) != WAIT_OBJECT_0)
        return static_cast<int>(s_dwExitBase + KPACKMERGE_REFUSED);
    HANDLE hPaths = OpenFileMappingW(FILE_MAP_READ, FALSE, (wstrJob + s_wszPaths).c_str());
    const char* pchPaths = hPaths ? static_cast<const char*>(MapViewOfFile(hPaths, FILE_MAP_READ, 0, 0, s_dwPathsBytes)) : nullptr;
    const char* pchEnd = pchPaths ? static_cast<const char*>(std::memchr(pchPaths, 0, s_dwPathsBytes)) : nullptr;
    if (!pchEnd || !std::memchr(pchEnd + 1, 0, s_dwPathsBytes - (pchEnd + 1 - pchPaths)))
        return static_cast<int>(s_dwExitBase + KPACKMERGE_REFUSED);
    args.resize(3);
    args.push_back(pchPaths);
    args.push_back(pchEnd + 1);
    // The library opens files by the system's ANSI text of their paths.
    std::string strTarget = SystemAnsiPath(args[3]);
    std::string strSource = SystemAnsiPath(args[4]);
    bool bMerged = !strTarget.empty() && !strSource.empty() && pfnPackComb(strTarget.c_str(), strSource.c_str()) == S_OK;
    return static_cast<int>(s_dwExitBase + (bMerged ? KPACKMERGE_DONE : KPACKMERGE_REFUSED));
}

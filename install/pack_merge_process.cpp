#include "install/pack_merge_process.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

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

// One argument of a command line as CommandLineToArgvW splits it back: quoted, with the
// backslashes before the closing quote doubled (a path holds no quote of its own).
std::wstring s_QuotedArgument(const std::wstring& wstrArgument) {
    size_t uTrailing = 0;
    while (uTrailing < wstrArgument.size() && wstrArgument[wstrArgument.size() - 1 - uTrailing] == L'\\')
        ++uTrailing;
    return L"\"" + wstrArgument + std::wstring(uTrailing, L'\\') + L"\"";
}

std::wstring s_ProgramPath() {
    std::vector<wchar_t> buffer(32768);
    DWORD dwLen = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return dwLen && dwLen < buffer.size() ? std::wstring(buffer.data(), dwLen) : std::wstring();
}

// Owns a handle; closes it on every way out.
struct KHandle {
    HANDLE h = nullptr;
    ~KHandle() {
        if (h)
            CloseHandle(h);
    }
};

// The top-level filter of the child: ends the process at once with the exception's code, without
// the debugger or report the system would otherwise start for an unhandled exception.
LONG WINAPI s_EndOnException(EXCEPTION_POINTERS* pInfo) {
    TerminateProcess(GetCurrentProcess(), pInfo && pInfo->ExceptionRecord ? pInfo->ExceptionRecord->ExceptionCode : 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int MergePackInChild(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
                     const std::atomic<int>* pbStop) {
    std::wstring wstrProgram = s_ProgramPath();
    if (wstrProgram.empty())
        return KPACKMERGE_NOT_STARTED;
    std::wstring wstrFolder = wstrProgram.substr(0, wstrProgram.find_last_of(L'\\') + 1);
    std::wstring wstrCommand = s_QuotedArgument(wstrProgram) + L" " + Utf8ToWide(PACK_MERGE_ARGUMENT) + L" " +
                               s_QuotedArgument(Utf8ToWide(strLibraryFolder)) + L" " +
                               s_QuotedArgument(Utf8ToWide(strTarget)) + L" " + s_QuotedArgument(Utf8ToWide(strSource));

    // The job ends the child with the last handle to it, this process's, however this process ends.
    KHandle job;
    job.h = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (job.h)
        SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(wstrProgram.c_str(), &wstrCommand[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, wstrFolder.c_str(), &startup, &process))
        return KPACKMERGE_NOT_STARTED;
    KHandle child, thread;
    child.h = process.hProcess;
    thread.h = process.hThread;
    // Suspended until it is in the job: it must not write a byte it could outlive this process
    // with. Where the system refuses (Windows 7 inside another program's job) the merge still runs
    // guarded, only without that promise.
    AssignProcessToJobObject(job.h, child.h);
    ResumeThread(thread.h);
    while (WaitForSingleObject(child.h, pbStop ? s_dwStopPollMs : INFINITE) == WAIT_TIMEOUT) {
        if (pbStop && pbStop->load()) {
            TerminateProcess(child.h, 1);
            WaitForSingleObject(child.h, INFINITE);
            return KPACKMERGE_STOPPED;
        }
    }
    DWORD dwExit = 0;
    if (!GetExitCodeProcess(child.h, &dwExit))
        return KPACKMERGE_CRASHED;
    DWORD dwRun = dwExit - s_dwExitBase;
    return dwRun <= KPACKMERGE_NO_LIBRARY ? static_cast<int>(dwRun) : KPACKMERGE_CRASHED;
}

int RunPackMergeChild() {
    int nArgs = 0;
    LPWSTR* ppwszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (!ppwszArgs)
        return -1;
    std::vector<std::string> args;
    for (int i = 0; i < nArgs; ++i)
        args.push_back(WideToUtf8(ppwszArgs[i]));
    LocalFree(ppwszArgs);
    if (args.size() != 5 || args[1] != PACK_MERGE_ARGUMENT)
        return -1;

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(s_EndOnException);
    RestrictLibrarySearch();
    HMODULE hLibrary = LoadLibraryInFolder(args[2].c_str(), COBBLEPAK_LIBRARY_NAME);
    PFN_PACKCOMB pfnPackComb =
        hLibrary ? reinterpret_cast<PFN_PACKCOMB>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "PackComb"))) : nullptr;
    if (!pfnPackComb)
        return static_cast<int>(s_dwExitBase + KPACKMERGE_NO_LIBRARY);
    if (args[3].empty() && args[4].empty())
        return static_cast<int>(s_dwExitBase + KPACKMERGE_DONE);  // only the library asked about
    // The library opens files by the system's ANSI text of their paths.
    std::string strTarget = SystemAnsiPath(args[3]);
    std::string strSource = SystemAnsiPath(args[4]);
    bool bMerged = !strTarget.empty() && !strSource.empty() && pfnPackComb(strTarget.c_str(), strSource.c_str()) == S_OK;
    return static_cast<int>(s_dwExitBase + (bMerged ? KPACKMERGE_DONE : KPACKMERGE_REFUSED));
}

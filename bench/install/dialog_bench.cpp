// dialog_bench: one Update of Mendwright.exe through its window, timed from the press of Update
// until Run Game is enabled, driven from outside as the GUI tests drive it.
//   dialog_bench [--watch] MENDWRIGHT_EXE GAME_FOLDER
// The program must lie in its package folder (beside Update.dat). Its game folder is typed into
// the edit box before Update is pressed. Prints one line, update_ms=N lines=N, and quits the
// program. With --watch a second thread meanwhile asks the window for WM_NULL every 20 ms and
// watches the message list's line count, and the line goes on with
//   null_p99_ms=N null_max_ms=N still_ms=A@LINE,B@LINE
// (still_ms: the two longest times the line count stood still, each with the line count it stood
// at: the installation reports nothing while it checks the package before its first file). The
// watching costs the window's process some time: timed runs go without it.
// Exit code 0 when the installation succeeded, 1 when not, 2 on a usage error.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

enum { ID_GAME_PATH = 1000, ID_LIST = 1002, ID_UPDATE = 1003, ID_RUN_GAME = 1004 };

double s_NowMs() {
    static LARGE_INTEGER s_Frequency = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(s_Frequency.QuadPart);
}

struct KSearch {
    DWORD dwProcessId;
    HWND hDlg;
};

BOOL CALLBACK s_FindDialog(HWND hWnd, LPARAM lParam) {
    KSearch* pSearch = reinterpret_cast<KSearch*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hWnd, &dwOwner);
    if (dwOwner == pSearch->dwProcessId && GetDlgItem(hWnd, ID_LIST)) {
        pSearch->hDlg = hWnd;
        return FALSE;
    }
    return TRUE;
}

int s_LineCount(HWND hList) {
    DWORD_PTR dwCount = 0;
    if (!SendMessageTimeoutW(hList, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwCount))
        return -1;
    return static_cast<int>(dwCount);
}

// Watches the window while the installation runs: WM_NULL answer times and the longest time the
// line count stood still.
class KWatch {
public:
    explicit KWatch(HWND hDlg) : m_hDlg(hDlg), m_Thread([this] { Run(); }) {}
    ~KWatch() { Finish(); }
    void Finish() {
        m_bDone = true;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    double NullP99() {
        if (m_Answers.empty())
            return 0;
        std::sort(m_Answers.begin(), m_Answers.end());
        return m_Answers[(m_Answers.size() * 99) / 100 < m_Answers.size() ? (m_Answers.size() * 99) / 100
                                                                           : m_Answers.size() - 1];
    }
    double NullMax() const { return m_Answers.empty() ? 0 : *std::max_element(m_Answers.begin(), m_Answers.end()); }
    // The two longest stills as "A@LINE,B@LINE".
    std::string Stills() {
        std::sort(m_Stills.begin(), m_Stills.end(), [](const KStill& a, const KStill& b) { return a.dMs > b.dMs; });
        std::string strStills;
        for (size_t i = 0; i < m_Stills.size() && i < 2; ++i) {
            char szOne[64];
            std::snprintf(szOne, sizeof(szOne), "%s%.0f@%d", i ? "," : "", m_Stills[i].dMs, m_Stills[i].nLine);
            strStills += szOne;
        }
        return strStills;
    }

private:
    void Run() {
        HWND hList = GetDlgItem(m_hDlg, ID_LIST);
        int nLast = s_LineCount(hList);
        double dChanged = s_NowMs();
        while (!m_bDone) {
            double dStart = s_NowMs();
            DWORD_PTR dwResult = 0;
            SendMessageTimeoutW(m_hDlg, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &dwResult);
            double dNow = s_NowMs();
            m_Answers.push_back(dNow - dStart);
            int nCount = s_LineCount(hList);
            if (nCount != nLast) {
                m_Stills.push_back({dNow - dChanged, nLast});
                nLast = nCount;
                dChanged = dNow;
            }
            Sleep(20);
        }
    }

    HWND m_hDlg;
    std::atomic<bool> m_bDone{false};
    std::vector<double> m_Answers;
    struct KStill {
        double dMs;
        int nLine;
    };
    std::vector<KStill> m_Stills;
    std::thread m_Thread;
};

}  // namespace

int main(int argc, char** argv) {
    bool bWatch = argc == 4 && std::string(argv[1]) == "--watch";
    if (argc != 3 && !bWatch) {
        std::fprintf(stderr, "usage: dialog_bench [--watch] MENDWRIGHT_EXE GAME_FOLDER\n");
        return 2;
    }
    const char* pszExe = argv[argc - 2];
    const char* pszGame = argv[argc - 1];
    std::string strCommand = std::string("\"") + pszExe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "dialog_bench: cannot start %s (%lu)\n", pszExe, GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);

    // The dialog, once its message list holds its first line (the package has been read).
    KSearch search = {process.dwProcessId, nullptr};
    double dGiveUp = s_NowMs() + 30000;
    while (s_NowMs() < dGiveUp) {
        search.hDlg = nullptr;
        EnumWindows(s_FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.hDlg && s_LineCount(GetDlgItem(search.hDlg, ID_LIST)) > 0 && IsWindowVisible(search.hDlg))
            break;
        Sleep(20);
    }
    HWND hDlg = search.hDlg;
    int nExit = 1;
    if (!hDlg) {
        std::fprintf(stderr, "dialog_bench: no dialog\n");
    } else {
        SendMessageA(GetDlgItem(hDlg, ID_GAME_PATH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszGame));
        HWND hRunGame = GetDlgItem(hDlg, ID_RUN_GAME);
        HWND hUpdate = GetDlgItem(hDlg, ID_UPDATE);
        std::unique_ptr<KWatch> watch(bWatch ? new KWatch(hDlg) : nullptr);
        double dStart = s_NowMs();
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(ID_UPDATE, BN_CLICKED), reinterpret_cast<LPARAM>(hUpdate));
        // Ends with Run Game enabled (success), or with Update enabled again once the worker has
        // taken it away (failure), or after ten minutes.
        // (Asked every 10 ms, the rest every 100 ms: each question is work for the Wine server,
        // which the installation needs too.)
        bool bUpdateTaken = false;
        bool bSucceeded = false;
        for (int nRound = 1;; ++nRound) {
            if (IsWindowEnabled(hRunGame)) {
                bSucceeded = true;
                break;
            }
            if (nRound % 10 == 0) {
                if (s_NowMs() - dStart > 600000)
                    break;
                bool bUpdate = IsWindowEnabled(hUpdate) != FALSE;
                if (!bUpdate)
                    bUpdateTaken = true;
                else if (bUpdateTaken)
                    break;
                if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
                    break;
            }
            Sleep(10);
        }
        double dElapsed = s_NowMs() - dStart;
        std::printf("update_ms=%.0f lines=%d", dElapsed, s_LineCount(GetDlgItem(hDlg, ID_LIST)));
        if (watch) {
            watch->Finish();
            std::printf(" null_p99_ms=%.0f null_max_ms=%.0f still_ms=%s", watch->NullP99(), watch->NullMax(),
                        watch->Stills().c_str());
        }
        std::printf("\n");
        nExit = bSucceeded ? 0 : 1;
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    return nExit;
}

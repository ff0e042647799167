#include "core/answering_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A window of the calling thread that another thread sends a message to while the work runs:
// the work ends only once the window has answered, which it can only do if the waiting thread
// dispatches.
LRESULT CALLBACK s_CountingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP) {
        ++*reinterpret_cast<std::atomic<int>*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        return 1;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

TEST(RunWhileAnswering, WindowsOfTheWaitingThreadKeepAnswering) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = s_CountingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MwAnsweringWaitTest";
    RegisterClassA(&windowClass);
    HWND hWnd = CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, hWnd);
    std::atomic<int> nAnswered{0};
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&nAnswered));
    DWORD dwCaller = GetCurrentThreadId();
    DWORD dwWorker = 0;

    int nResult = RunWhileAnswering(nullptr, [&]() {
        dwWorker = GetCurrentThreadId();
        // Sent and posted: both reach the window while the caller waits.
        LRESULT lSent = SendMessageA(hWnd, WM_APP, 0, 0);
        PostMessageA(hWnd, WM_APP, 0, 0);
        while (nAnswered.load() < 2)
            Sleep(1);
        return static_cast<int>(lSent) + 41;
    });
    EXPECT_EQ(42, nResult);
    EXPECT_EQ(2, nAnswered.load());
    EXPECT_NE(dwCaller, dwWorker);
    DestroyWindow(hWnd);
}

TEST(RunWhileAnswering, AQuitMessageIsKeptForTheCallersLoop) {
    PostQuitMessage(7);
    EXPECT_EQ(5, RunWhileAnswering(nullptr, []() {
        Sleep(50);
        return 5;
    }));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7, static_cast<int>(msg.wParam));
}

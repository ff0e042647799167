// The notification-area icon of the main dialog and its balloons.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>

// The balloon that announces an install state (0 idle, 1 installing, 2 installed, 3 failed):
// the catalogue id of its text, a format with one "%s" for the application title, and the
// balloon icon flag. 0 for any other state.
int GetStateBalloon(int nState, int* pnTextId, DWORD* pdwInfoFlags);

// The catalogue format pszFormat (one "%s") filled with pszTitle (null as ""), whatever the
// title's length.
std::string FormatBalloonText(const char* pszFormat, const char* pszTitle);

// One icon in the notification area. Its data is the version-2 NOTIFYICONDATAW (936 bytes), so
// that its texts show whatever the system's ANSI code page. Every
// request fills the shared data under one lock and takes a copy of it there; the copy is sent to
// the shell after the lock is let go. So balloons asked for by two threads never mix one's text
// with the other's title, and a request that arrives while the shell is being asked (a sent
// message dispatched during the call) never waits for a lock its own thread holds.
class KTrayIcon {
public:
    typedef BOOL(WINAPI* PFN_NOTIFY)(DWORD dwMessage, PNOTIFYICONDATAW pData);

    // pfnNotify carries the requests to the shell (Shell_NotifyIconW unless a test records them).
    explicit KTrayIcon(PFN_NOTIFY pfnNotify = Shell_NotifyIconW);
    KTrayIcon(const KTrayIcon&) = delete;
    KTrayIcon& operator=(const KTrayIcon&) = delete;

    // Adds the icon uId of hWnd with its callback message, icon and tip (UTF-8, cut to 127 UTF-16
    // units on a character boundary). The request's result.
    BOOL Add(HWND hWnd, UINT uId, UINT uCallbackMessage, HICON hIcon, const char* pszTip);
    // Shows a balloon on the icon: pszText cut to 255 UTF-16 units, pszTitle to 63, both on a
    // character boundary (null as ""); nTimeout in milliseconds; nInfoFlags the NIIF_ icon flags. The icon
    // and tip stay as they are. The request's result.
    BOOL ShowBalloon(const char* pszText, const char* pszTitle, int nTimeout, int nInfoFlags);
    // Adds the icon again as Add left it (the shell has restarted and lost it): icon, tip and
    // callback, no balloon. FALSE without a request when the icon was never added or is removed.
    BOOL AddAgain();
    // Removes the icon. The request's result.
    BOOL Remove();

private:
    // Sends dwMessage with a copy of the data taken under the lock after fnFill has changed it.
    template <typename FILL>
    BOOL Request(DWORD dwMessage, FILL fnFill);

    PFN_NOTIFY m_pfnNotify;
    std::mutex m_Lock;
    NOTIFYICONDATAW m_Data;
    bool m_bAdded;
};

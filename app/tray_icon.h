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

// One icon in the notification area. Its data is the version-2 NOTIFYICONDATA (488 bytes); every
// request fills the shared data and sends it under one lock, so balloons asked for by two threads
// never mix one's text with the other's title.
class KTrayIcon {
public:
    typedef BOOL(WINAPI* PFN_NOTIFY)(DWORD dwMessage, PNOTIFYICONDATAA pData);

    // pfnNotify carries the requests to the shell (Shell_NotifyIconA unless a test records them).
    explicit KTrayIcon(PFN_NOTIFY pfnNotify = Shell_NotifyIconA);
    KTrayIcon(const KTrayIcon&) = delete;
    KTrayIcon& operator=(const KTrayIcon&) = delete;

    // Adds the icon uId of hWnd with its callback message, icon and tip (cut to 127 bytes on a
    // character boundary). The request's result.
    BOOL Add(HWND hWnd, UINT uId, UINT uCallbackMessage, HICON hIcon, const char* pszTip);
    // Shows a balloon on the icon: pszText cut to 255 bytes, pszTitle to 63, both on a character
    // boundary (null as ""); nTimeout in milliseconds; nInfoFlags the NIIF_ icon flags. The icon
    // and tip stay as they are. The request's result.
    BOOL ShowBalloon(const char* pszText, const char* pszTitle, int nTimeout, int nInfoFlags);
    // Removes the icon. The request's result.
    BOOL Remove();

private:
    PFN_NOTIFY m_pfnNotify;
    std::mutex m_Lock;
    NOTIFYICONDATAA m_Data;
};

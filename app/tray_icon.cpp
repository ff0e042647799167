#include "app/tray_icon.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/string_ids.h"
#include "core/text_copy.h"
#include "core/win_text.h"

namespace {

// The UTF-8 pszText (null as "") into a field of uSize UTF-16 units, cut before a character
// that does not fit (never half a surrogate pair) and always terminated.
void s_CopyWide(wchar_t* pwszField, const char* pszText, size_t uSize) {
    std::wstring wstrText = Utf8ToWide(pszText);
    size_t uKeep = wstrText.size() < uSize ? wstrText.size() : uSize - 1;
    if (uKeep < wstrText.size() && uKeep > 0 && wstrText[uKeep - 1] >= 0xD800 && wstrText[uKeep - 1] <= 0xDBFF)
        --uKeep;
    std::memcpy(pwszField, wstrText.data(), uKeep * sizeof(wchar_t));
    pwszField[uKeep] = L'\0';
}

}  // namespace

int GetStateBalloon(int nState, int* pnTextId, DWORD* pdwInfoFlags) {
    static const struct {
        int nTextId;
        DWORD dwInfoFlags;
    } s_aBalloons[] = {
        {IDS_BALLOON_RUNNING, NIIF_USER},
        {IDS_BALLOON_INSTALLING, NIIF_USER},
        {IDS_BALLOON_INSTALLED, NIIF_INFO},
        {IDS_BALLOON_FAILED, NIIF_WARNING},
    };
    if (nState < 0 || nState > 3 || !pnTextId || !pdwInfoFlags)
        return 0;
    *pnTextId = s_aBalloons[nState].nTextId;
    *pdwInfoFlags = s_aBalloons[nState].dwInfoFlags;
    return 1;
}

std::string FormatBalloonText(const char* pszFormat, const char* pszTitle) {
    if (!pszFormat)
        return std::string();
    if (!pszTitle)
        pszTitle = "";
    int nLen = std::snprintf(nullptr, 0, pszFormat, pszTitle);
    if (nLen <= 0)
        return std::string();
    std::vector<char> text(static_cast<size_t>(nLen) + 1, '\0');
    std::snprintf(text.data(), text.size(), pszFormat, pszTitle);
    return std::string(text.data());
}

KTrayIcon::KTrayIcon(PFN_NOTIFY pfnNotify) : m_pfnNotify(pfnNotify), m_bAdded(false) {
    std::memset(&m_Data, 0, sizeof(m_Data));
    m_Data.cbSize = NOTIFYICONDATAW_V2_SIZE;
}

template <typename FILL>
BOOL KTrayIcon::Request(DWORD dwMessage, FILL fnFill) {
    NOTIFYICONDATAW data;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (!fnFill())
            return FALSE;
        m_Data.cbSize = NOTIFYICONDATAW_V2_SIZE;
        data = m_Data;
    }
    // Outside the lock: the shell call may dispatch messages sent to this thread meanwhile, and
    // their handlers may ask for a balloon.
    return m_pfnNotify(dwMessage, &data);
}

BOOL KTrayIcon::Add(HWND hWnd, UINT uId, UINT uCallbackMessage, HICON hIcon, const char* pszTip) {
    return Request(NIM_ADD, [&]() {
        m_Data.hWnd = hWnd;
        m_Data.uID = uId;
        m_Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        m_Data.uCallbackMessage = uCallbackMessage;
        m_Data.hIcon = hIcon;
        s_CopyWide(m_Data.szTip, pszTip, sizeof(m_Data.szTip) / sizeof(wchar_t));
        m_bAdded = true;
        return true;
    });
}

BOOL KTrayIcon::ShowBalloon(const char* pszText, const char* pszTitle, int nTimeout, int nInfoFlags) {
    return Request(NIM_MODIFY, [&]() {
        m_Data.dwInfoFlags = static_cast<DWORD>(nInfoFlags);
        m_Data.uFlags = NIF_INFO;
        m_Data.uTimeout = static_cast<UINT>(nTimeout);
        s_CopyWide(m_Data.szInfo, pszText, sizeof(m_Data.szInfo) / sizeof(wchar_t));
        s_CopyWide(m_Data.szInfoTitle, pszTitle, sizeof(m_Data.szInfoTitle) / sizeof(wchar_t));
        return true;
    });
}

BOOL KTrayIcon::AddAgain() {
    return Request(NIM_ADD, [&]() {
        if (!m_bAdded)
            return false;
        m_Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        return true;
    });
}

BOOL KTrayIcon::Remove() {
    return Request(NIM_DELETE, [&]() {
        m_bAdded = false;
        return true;
    });
}

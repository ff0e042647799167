#include "app/readable_font.h"

#include <vector>

namespace {

// Faces that carry the Chinese glyphs on Windows and on Linux systems that run the game through
// Wine, tried first in this order.
const wchar_t* const s_apwszPreferredFaces[] = {
    L"\u5b8b\u4f53",  // 宋体
    L"SimSun",       L"NSimSun",           L"Microsoft YaHei",  L"SimHei",
    L"WenQuanYi Zen Hei Sharp", L"WenQuanYi Zen Hei", L"WenQuanYi Micro Hei", L"Noto Sans CJK SC",
    L"Noto Sans SC", L"Source Han Sans SC", L"Droid Sans Fallback", L"AR PL UMing CN", L"AR PL UKai CN",
};

// Characters of the lines the installer lists beyond those of its captions.
const wchar_t s_wszLinePunctuation[] = L"\u00b7\uff01\uff0c\u3002\uff08\uff09\uff1a-";

int CALLBACK s_CollectFace(const LOGFONTW* pFont, const TEXTMETRICW*, DWORD, LPARAM lParam) {
    std::vector<std::wstring>* pFaces = reinterpret_cast<std::vector<std::wstring>*>(lParam);
    // Vertical faces ("@宋体") draw turned text.
    if (pFont->lfFaceName[0] != L'@')
        pFaces->push_back(pFont->lfFaceName);
    return 1;
}

bool s_FaceShows(HDC hDC, LOGFONTW lf, const std::wstring& wstrFace, const std::wstring& wstrText) {
    if (wstrFace.size() >= LF_FACESIZE)
        return false;
    wstrFace.copy(lf.lfFaceName, wstrFace.size());
    lf.lfFaceName[wstrFace.size()] = L'\0';
    HFONT hFont = CreateFontIndirectW(&lf);
    if (!hFont)
        return false;
    bool bShows = FontShowsText(hDC, hFont, wstrText);
    DeleteObject(hFont);
    return bShows;
}

void s_AppendText(HWND hWnd, std::wstring* pwstrText) {
    int nLen = GetWindowTextLengthW(hWnd);
    if (nLen <= 0)
        return;
    std::wstring wstrText(static_cast<size_t>(nLen) + 1, L'\0');
    wstrText.resize(static_cast<size_t>(GetWindowTextW(hWnd, &wstrText[0], nLen + 1)));
    *pwstrText += wstrText;
}

}  // namespace

bool FontShowsText(HDC hDC, HFONT hFont, const std::wstring& wstrText) {
    std::wstring wstrShown;
    for (wchar_t wch : wstrText) {
        if (wch >= L' ' && wch != L'&')  // '&' marks a mnemonic
            wstrShown += wch;
    }
    if (wstrShown.empty())
        return true;
    std::vector<WORD> indices(wstrShown.size());
    HGDIOBJ hOld = SelectObject(hDC, hFont);
    DWORD dwDone = GetGlyphIndicesW(hDC, wstrShown.c_str(), static_cast<int>(wstrShown.size()), indices.data(),
                                    GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(hDC, hOld);
    if (dwDone == GDI_ERROR)
        return false;
    for (WORD wIndex : indices) {
        if (wIndex == 0xFFFF)
            return false;
    }
    return true;
}

std::wstring FindReadableFace(HDC hDC, const LOGFONTW& lfBase, const std::wstring& wstrText) {
    std::vector<std::wstring> installed;
    LOGFONTW lfAll = {};
    lfAll.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(hDC, &lfAll, s_CollectFace, reinterpret_cast<LPARAM>(&installed), 0);
    std::vector<std::wstring> candidates;
    for (const wchar_t* pwszFace : s_apwszPreferredFaces) {
        for (const std::wstring& wstrFace : installed) {
            if (lstrcmpiW(wstrFace.c_str(), pwszFace) == 0) {
                candidates.push_back(wstrFace);
                break;
            }
        }
    }
    candidates.insert(candidates.end(), installed.begin(), installed.end());
    LOGFONTW lf = lfBase;
    lf.lfCharSet = DEFAULT_CHARSET;
    for (const std::wstring& wstrFace : candidates) {
        if (s_FaceShows(hDC, lf, wstrFace, wstrText))
            return wstrFace;
    }
    return std::wstring();
}

KReadableFont::~KReadableFont() {
    if (m_hFont)
        DeleteObject(m_hFont);
}

void KReadableFont::Apply(HWND hDialog) {
    HFONT hDialogFont = reinterpret_cast<HFONT>(SendMessageW(hDialog, WM_GETFONT, 0, 0));
    LOGFONTW lf = {};
    if (!hDialogFont || !GetObjectW(hDialogFont, sizeof(lf), &lf))
        return;
    std::wstring wstrText = s_wszLinePunctuation;
    s_AppendText(hDialog, &wstrText);
    for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
        s_AppendText(hChild, &wstrText);

    HDC hDC = GetDC(hDialog);
    if (!hDC)
        return;
    std::wstring wstrFace;
    if (!FontShowsText(hDC, hDialogFont, wstrText))
        wstrFace = FindReadableFace(hDC, lf, wstrText);
    ReleaseDC(hDialog, hDC);
    if (wstrFace.empty())
        return;  // the dialog's own font serves, or no installed face would do better

    wstrFace.copy(lf.lfFaceName, wstrFace.size());
    lf.lfFaceName[wstrFace.size()] = L'\0';
    lf.lfCharSet = DEFAULT_CHARSET;
    HFONT hFont = CreateFontIndirectW(&lf);
    if (!hFont)
        return;
    SendMessageW(hDialog, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
    for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
        SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = hFont;
}

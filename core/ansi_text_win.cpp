#include "core/ansi_text.h"

#include <windows.h>

#include <string>

namespace {

std::wstring s_Wide(UINT uCodePage, DWORD dwFlags, const char* pBytes, size_t uSize) {
    int nWide = uSize ? MultiByteToWideChar(uCodePage, dwFlags, pBytes, static_cast<int>(uSize), nullptr, 0) : 0;
    std::wstring wstrText(static_cast<size_t>(nWide > 0 ? nWide : 0), L'\0');
    if (nWide > 0)
        MultiByteToWideChar(uCodePage, dwFlags, pBytes, static_cast<int>(uSize), &wstrText[0], nWide);
    return wstrText;
}

// wstrText in code page uCodePage; *pbDefaultUsed, when given, tells whether a character was missing.
std::string s_Narrow(UINT uCodePage, DWORD dwFlags, const std::wstring& wstrText, BOOL* pbDefaultUsed) {
    int nLen = wstrText.empty() ? 0
                                : WideCharToMultiByte(uCodePage, dwFlags, wstrText.data(), static_cast<int>(wstrText.size()),
                                                      nullptr, 0, nullptr, pbDefaultUsed);
    std::string strText(static_cast<size_t>(nLen > 0 ? nLen : 0), '\0');
    if (nLen > 0)
        WideCharToMultiByte(uCodePage, dwFlags, wstrText.data(), static_cast<int>(wstrText.size()), &strText[0], nLen,
                            nullptr, pbDefaultUsed);
    return strText;
}

}  // namespace

std::string Utf8FromCodePage(unsigned uCodePage, const char* pBytes, size_t uSize) {
    std::wstring wstrText = s_Wide(uCodePage, 0, pBytes, uSize);
    return Utf8FromUtf16(reinterpret_cast<const char16_t*>(wstrText.data()), wstrText.size());
}

std::string CodePageFromUtf8(unsigned uCodePage, const std::string& strUtf8) {
    return s_Narrow(uCodePage, 0, s_Wide(CP_UTF8, 0, strUtf8.data(), strUtf8.size()), nullptr);
}

std::u16string Utf16FromUtf8(const std::string& strUtf8) {
    std::wstring wstrText = s_Wide(CP_UTF8, 0, strUtf8.data(), strUtf8.size());
    return std::u16string(wstrText.begin(), wstrText.end());
}

bool GbkFromUtf8(const std::string& strUtf8, std::string* pstrGbk) {
    std::wstring wstrText = s_Wide(CP_UTF8, MB_ERR_INVALID_CHARS, strUtf8.data(), strUtf8.size());
    if (wstrText.empty() != strUtf8.empty())
        return false;
    BOOL bDefaultUsed = FALSE;
    std::string strGbk = s_Narrow(CODE_PAGE_GBK, WC_NO_BEST_FIT_CHARS, wstrText, &bDefaultUsed);
    if (bDefaultUsed || strGbk.empty() != wstrText.empty())
        return false;
    *pstrGbk = strGbk;
    return true;
}

std::string FoldNameCase(const std::string& strUtf8) {
    std::wstring wstrText = s_Wide(CP_UTF8, 0, strUtf8.data(), strUtf8.size());
    if (!wstrText.empty())
        CharUpperBuffW(&wstrText[0], static_cast<DWORD>(wstrText.size()));
    return Utf8FromUtf16(reinterpret_cast<const char16_t*>(wstrText.data()), wstrText.size());
}

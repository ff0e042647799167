#include "cli/console_output.h"

#include <cstdio>
#include <vector>

#include "core/win_text.h"

namespace {

bool s_IsConsole(HANDLE hHandle) {
    DWORD dwMode = 0;
    return hHandle && hHandle != INVALID_HANDLE_VALUE && GetConsoleMode(hHandle, &dwMode);
}

// Redirected output is written in pieces of about this size.
const size_t s_uFlushSize = 64 * 1024;

}  // namespace

KConsoleOutput::KConsoleOutput()
    : m_hOut(GetStdHandle(STD_OUTPUT_HANDLE)),
      m_hErr(GetStdHandle(STD_ERROR_HANDLE)),
      m_bOutConsole(s_IsConsole(m_hOut)),
      m_bErrConsole(s_IsConsole(m_hErr)),
      m_uProgressWidth(0),
      m_uCodePage(CP_GBK) {}

KConsoleOutput::~KConsoleOutput() {
    Flush();
}

void KConsoleOutput::s_Write(HANDLE hOut, bool bConsole, const char* pszText, size_t uLen, UINT uCodePage) {
    if (!hOut || hOut == INVALID_HANDLE_VALUE || !uLen)
        return;
    std::string strText(pszText, uLen);
    if (bConsole) {
        std::wstring wstrText = Utf8ToWide(strText);
        DWORD dwWritten = 0;
        WriteConsoleW(hOut, wstrText.data(), static_cast<DWORD>(wstrText.size()), &dwWritten, nullptr);
        return;
    }
    if (uCodePage != CP_UTF8)
        strText = Utf8ToCodePage(uCodePage, strText);
    const char* pszBytes = strText.data();
    uLen = strText.size();
    while (uLen) {
        DWORD dwWritten = 0;
        if (!WriteFile(hOut, pszBytes, static_cast<DWORD>(uLen), &dwWritten, nullptr) || !dwWritten)
            return;  // a closed pipe: nothing more can be shown
        pszBytes += dwWritten;
        uLen -= dwWritten;
    }
}

void KConsoleOutput::ClearProgress() {
    if (!m_uProgressWidth)
        return;
    std::string strBlank = "\r" + std::string(m_uProgressWidth, ' ') + "\r";
    s_Write(m_bOutConsole ? m_hOut : m_hErr, true, strBlank.data(), strBlank.size(), m_uCodePage);
    m_uProgressWidth = 0;
}

void KConsoleOutput::WriteLine(const std::string& strLine) {
    if (m_bOutConsole) {
        ClearProgress();
        std::string strText = strLine + "\r\n";
        s_Write(m_hOut, true, strText.data(), strText.size(), m_uCodePage);
        RedrawProgress();
        return;
    }
    m_strPending += strLine;
    m_strPending += "\r\n";
    if (m_strPending.size() >= s_uFlushSize) {
        s_Write(m_hOut, false, m_strPending.data(), m_strPending.size(), m_uCodePage);
        m_strPending.clear();
    }
}

void KConsoleOutput::WriteNote(const std::string& strText) {
    ClearProgress();
    std::string strNote = strText + "\r\n";
    s_Write(m_hErr, m_bErrConsole, strNote.data(), strNote.size(), m_uCodePage);
    RedrawProgress();
}

void KConsoleOutput::RedrawProgress() {
    if (m_strProgress.empty())
        return;
    s_Write(m_bOutConsole ? m_hOut : m_hErr, true, m_strProgress.data(), m_strProgress.size(), m_uCodePage);
    m_uProgressWidth = m_strProgress.size() - 1;
}

void KConsoleOutput::ShowProgress(int nDone, int nTotal) {
    if (!m_bOutConsole && !m_bErrConsole)
        return;
    char szProgress[64];
    int nLen = std::snprintf(szProgress, sizeof(szProgress), "\r[%d/%d]", nDone, nTotal);
    if (nLen <= 0)
        return;
    m_strProgress.assign(szProgress, static_cast<size_t>(nLen));
    RedrawProgress();
}

void KConsoleOutput::Flush() {
    ClearProgress();
    m_strProgress.clear();
    if (!m_strPending.empty()) {
        s_Write(m_hOut, false, m_strPending.data(), m_strPending.size(), m_uCodePage);
        m_strPending.clear();
    }
}

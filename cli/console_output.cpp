#include "cli/console_output.h"

#include <cstdio>
#include <vector>

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
      m_uProgressWidth(0) {}

KConsoleOutput::~KConsoleOutput() {
    Flush();
}

void KConsoleOutput::s_Write(HANDLE hOut, bool bConsole, const char* pszBytes, size_t uLen) {
    if (!hOut || hOut == INVALID_HANDLE_VALUE || !uLen)
        return;
    if (bConsole) {
        int nWide = MultiByteToWideChar(CP_ACP, 0, pszBytes, static_cast<int>(uLen), nullptr, 0);
        std::vector<WCHAR> wszText(static_cast<size_t>(nWide > 0 ? nWide : 1));
        MultiByteToWideChar(CP_ACP, 0, pszBytes, static_cast<int>(uLen), wszText.data(), nWide);
        DWORD dwWritten = 0;
        WriteConsoleW(hOut, wszText.data(), static_cast<DWORD>(nWide), &dwWritten, nullptr);
        return;
    }
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
    s_Write(m_bOutConsole ? m_hOut : m_hErr, true, strBlank.data(), strBlank.size());
    m_uProgressWidth = 0;
}

void KConsoleOutput::WriteLine(const std::string& strLine) {
    if (m_bOutConsole) {
        ClearProgress();
        std::string strText = strLine + "\r\n";
        s_Write(m_hOut, true, strText.data(), strText.size());
        RedrawProgress();
        return;
    }
    m_strPending += strLine;
    m_strPending += "\r\n";
    if (m_strPending.size() >= s_uFlushSize) {
        s_Write(m_hOut, false, m_strPending.data(), m_strPending.size());
        m_strPending.clear();
    }
}

void KConsoleOutput::WriteNote(const std::string& strText) {
    ClearProgress();
    std::string strNote = strText + "\r\n";
    s_Write(m_hErr, m_bErrConsole, strNote.data(), strNote.size());
    RedrawProgress();
}

void KConsoleOutput::RedrawProgress() {
    if (m_strProgress.empty())
        return;
    s_Write(m_bOutConsole ? m_hOut : m_hErr, true, m_strProgress.data(), m_strProgress.size());
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
        s_Write(m_hOut, false, m_strPending.data(), m_strPending.size());
        m_strPending.clear();
    }
}

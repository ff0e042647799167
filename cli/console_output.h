// Text output of the console front end: message lines to standard output, a progress indicator
// and notes to the console only.
#pragma once

#include <windows.h>

#include <string>

class KConsoleOutput {
public:
    KConsoleOutput();
    ~KConsoleOutput();
    KConsoleOutput(const KConsoleOutput&) = delete;
    KConsoleOutput& operator=(const KConsoleOutput&) = delete;

    // Writes one line (UTF-8) and a line end to standard output. Redirected, it goes out in GBK,
    // or in UTF-8 after SetUtf8 (collected and written in large pieces); on a console the text is
    // shown through the wide console functions, so that it reads correctly whatever the
    // console's code page.
    void WriteLine(const std::string& strLine);
    // Writes a text and a line end to standard error, the same way.
    void WriteNote(const std::string& strText);
    // Shows "[nDone/nTotal]" on the console, in place; nothing when neither standard output nor
    // standard error is a console.
    void ShowProgress(int nDone, int nTotal);
    // Writes out what is collected and takes the progress indicator away for good.
    void Flush();
    // Redirected output in UTF-8 from now on instead of GBK.
    void SetUtf8(bool bUtf8) { m_uCodePage = bUtf8 ? CP_UTF8 : 936; }

private:
    // Writes UTF-8 text to a handle: the wide console functions for a console, else in uCodePage.
    static void s_Write(HANDLE hOut, bool bConsole, const char* pszText, size_t uLen, UINT uCodePage);
    void ClearProgress();
    // Shows the last progress indicator again, after a line has taken its place.
    void RedrawProgress();

    HANDLE m_hOut;
    HANDLE m_hErr;
    bool m_bOutConsole;
    bool m_bErrConsole;
    std::string m_strPending;  // redirected standard output not yet written
    size_t m_uProgressWidth;   // characters of the progress indicator now shown; 0 when none
    std::string m_strProgress; // the last indicator, "\r[n/m]"; empty when none
    UINT m_uCodePage;          // of redirected output
};

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

    // Writes one line (ANSI code page) and a line end to standard output. Redirected, the bytes
    // go out unchanged (collected and written in large pieces); on a console the text is shown
    // through the wide console functions, so that it reads correctly whatever the console's code
    // page.
    void WriteLine(const std::string& strLine);
    // Writes a text and a line end to standard error, the same way.
    void WriteNote(const std::string& strText);
    // Shows "[nDone/nTotal]" on the console, in place; nothing when neither standard output nor
    // standard error is a console.
    void ShowProgress(int nDone, int nTotal);
    // Writes out what is collected and takes the progress indicator away for good.
    void Flush();

private:
    // Writes bytes to a handle: the wide console functions for a console, else unchanged.
    static void s_Write(HANDLE hOut, bool bConsole, const char* pszBytes, size_t uLen);
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
};

// The install worker's reports to the dialog, waiting for the dialog's thread: lines of the
// message list and steps of the progress bar. Any thread adds; the dialog's thread takes them all
// at once and shows them with one repaint, so that a report costs the worker no wait for the
// window.
#pragma once

#include <mutex>
#include <string>
#include <vector>

// What the reports taken at once do to the controls, in the order they were made.
struct KReportBatch {
    // The text appended to the list's current line before the new lines are added (when
    // bAppendToCurrent): an AppendMessage made before any AddMessage of the batch.
    bool bAppendToCurrent = false;
    std::string strAppendToCurrent;
    // New last lines, in order; a later AppendMessage is already part of its line.
    std::vector<std::string> newLines;
    // Steps of the progress bar.
    int nSteps = 0;
    // The progress bar's last requested visibility: -1 none, 0 hidden, 1 shown. (Steps do not
    // depend on it, so only the last one counts.)
    int nShow = -1;

    bool Empty() const { return !bAppendToCurrent && newLines.empty() && nSteps == 0 && nShow < 0; }
};

class KReportQueue {
public:
    // Each of these adds a report and returns true when the queue was idle until then: the
    // caller then tells the taker once, and no further notice is due until a Take finds the
    // queue empty. Texts are copied.
    bool AddLine(const char* pszText);
    bool AppendToLine(const char* pszText);
    bool StepProgress();
    bool ShowProgress(int bShow);

    // Moves every report queued so far into *pBatch (emptied first). False, with the queue idle
    // again, when there was none.
    bool Take(KReportBatch* pBatch);

private:
    // The lock is held only to add or take, never while a thread waits for another.
    bool Added();

    std::mutex m_Lock;
    KReportBatch m_Pending;
    bool m_bNoticeDue = false;
};

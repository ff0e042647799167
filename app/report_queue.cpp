#include "app/report_queue.h"

#include <utility>

bool KReportQueue::Added() {
    bool bWasIdle = !m_bNoticeDue;
    m_bNoticeDue = true;
    return bWasIdle;
}

bool KReportQueue::AddLine(const char* pszText) {
    std::string strLine = pszText;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Pending.newLines.push_back(std::move(strLine));
    return Added();
}

bool KReportQueue::AppendToLine(const char* pszText) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Pending.newLines.empty()) {
        m_Pending.newLines.back() += pszText;
    } else {
        m_Pending.bAppendToCurrent = true;
        m_Pending.strAppendToCurrent += pszText;
    }
    return Added();
}

bool KReportQueue::StepProgress() {
    std::lock_guard<std::mutex> lock(m_Lock);
    ++m_Pending.nSteps;
    return Added();
}

bool KReportQueue::ShowProgress(int bShow) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Pending.nShow = bShow ? 1 : 0;
    return Added();
}

bool KReportQueue::Take(KReportBatch* pBatch) {
    *pBatch = KReportBatch();
    std::lock_guard<std::mutex> lock(m_Lock);
    std::swap(*pBatch, m_Pending);
    if (pBatch->Empty()) {
        m_bNoticeDue = false;
        return false;
    }
    return true;
}

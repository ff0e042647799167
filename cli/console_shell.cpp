#include "cli/console_shell.h"

#include "core/string_ids.h"
#include "core/string_table.h"

KConsoleShell::KConsoleShell(KUpdateInstaller* pInstaller, KConsoleOutput* pOutput)
    : m_pInstaller(pInstaller),
      m_pOutput(pOutput),
      m_bHasCurrent(false),
      m_nFiles(0),
      m_nSteps(0),
      m_nResult(-1),
      m_hEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

KConsoleShell::~KConsoleShell() {
    if (m_hEnded)
        CloseHandle(m_hEnded);
}

int KConsoleShell::AddMessage(const char* pszText) {
    if (!pszText)
        return 0;
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_bHasCurrent)
        m_pOutput->WriteLine(m_strCurrent);
    m_strCurrent = pszText;
    m_bHasCurrent = true;
    return 1;
}

int KConsoleShell::AppendMessage(const char* pszText) {
    if (!pszText)
        return 0;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_strCurrent += pszText;
    m_bHasCurrent = true;
    return 1;
}

int KConsoleShell::ReportError(const char* pszText) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (pszText)
        m_pOutput->WriteNote(pszText);
    return 1;
}

int KConsoleShell::OnInstallBegin() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nSteps = 0;
    return 1;
}

int KConsoleShell::OnInstallEnd(int bSucceeded) {
    InterlockedExchange(&m_nResult, bSucceeded ? 1 : 0);
    SetEvent(m_hEnded);
    return 1;
}

int KConsoleShell::ShowProgress(int) {
    return 1;
}

int KConsoleShell::SetUpdateButtonText(const char*) {
    return 1;
}

int KConsoleShell::StepProgress() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_pOutput->ShowProgress(++m_nSteps, m_nFiles);
    return 1;
}

const char* KConsoleShell::GetGamePath() {
    return m_strGamePath.c_str();
}

const char* KConsoleShell::GetPackagePath() {
    return m_strPackagePath.c_str();
}

KUpdateInstaller* KConsoleShell::GetUpdateInstaller() {
    return m_pInstaller;
}

void KConsoleShell::ShowGameRunning(int nTextId) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_pOutput->WriteNote(GetString(nTextId));
}

bool KConsoleShell::ConfirmReinstall() {
    if (!m_bReinstall)
        AddMessage(GetString(IDS_ALREADY_NEWEST));
    return m_bReinstall;
}

void KConsoleShell::OfferGameUpdater() {
    AddMessage(GetString(IDS_GAME_TOO_OLD));
}

void KConsoleShell::SetPaths(const std::string& strGamePath, const std::string& strPackagePath) {
    m_strGamePath = strGamePath;
    m_strPackagePath = strPackagePath;
}

void KConsoleShell::Flush() {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_bHasCurrent)
        m_pOutput->WriteLine(m_strCurrent);
    m_bHasCurrent = false;
    m_strCurrent.clear();
    m_pOutput->Flush();
}

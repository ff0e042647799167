// The console front end's control surface: the message list becomes lines on standard output.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "app/shell_ctrl.h"
#include "cli/console_output.h"
#include "install/update_command.h"

class KConsoleShell : public IKShellCtrl, public IKUpdateFrontEnd {
public:
    // pInstaller is the installer the worker reads; pOutput receives the lines. Neither is owned.
    KConsoleShell(KUpdateInstaller* pInstaller, KConsoleOutput* pOutput);
    ~KConsoleShell();
    KConsoleShell(const KConsoleShell&) = delete;
    KConsoleShell& operator=(const KConsoleShell&) = delete;

    // A line is written once it is complete: when the next line is added, or by Flush.
    int AddMessage(const char* pszText) override;
    int AppendMessage(const char* pszText) override;
    // Shown on standard error: the console has no other place for it.
    int ReportError(const char* pszText) override;
    int OnInstallBegin() override;
    int OnInstallEnd(int bSucceeded) override;
    int ShowProgress(int bShow) override;
    int SetUpdateButtonText(const char* pszText) override;
    int StepProgress() override;
    const char* GetGamePath() override;
    const char* GetPackagePath() override;
    KUpdateInstaller* GetUpdateInstaller() override;

    // Text 2008 on standard error.
    void ShowGameRunning(int nTextId) override;
    // The game folder was given up front (SetPaths): nothing to take over.
    void TakeGamePath() override {}
    // The console asks nothing: the same version is installed again only with --reinstall
    // (SetReinstall); otherwise, and for a game too old, the question's text is the refusal line.
    bool ConfirmReinstall() override;
    void OfferGameUpdater() override;
    void SetReinstall(bool bReinstall) { m_bReinstall = bReinstall; }

    // Set before the worker starts; the worker copies them at its start.
    void SetPaths(const std::string& strGamePath, const std::string& strPackagePath);
    // The number of files the progress indicator counts towards.
    void SetFileCount(int nFiles) { m_nFiles = nFiles; }
    // Signalled by OnInstallEnd.
    HANDLE EndedEvent() const { return m_hEnded; }
    // The result OnInstallEnd passed; -1 before it came.
    int Result() const { return m_nResult; }
    // Writes the last, pending line and everything collected.
    void Flush();

private:
    KUpdateInstaller* m_pInstaller;
    KConsoleOutput* m_pOutput;
    std::mutex m_Lock;
    std::string m_strCurrent;  // the current line, not yet written
    bool m_bHasCurrent;
    std::string m_strGamePath;
    std::string m_strPackagePath;
    bool m_bReinstall = false;
    int m_nFiles;
    int m_nSteps;
    volatile LONG m_nResult;
    HANDLE m_hEnded;
};

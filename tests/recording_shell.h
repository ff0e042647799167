// A control surface for tests: keeps the message list as the dialog shows it and a log of every
// call, from whichever thread makes them.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/shell_ctrl.h"

namespace mwtest {

class KRecordingShell : public IKShellCtrl {
public:
    KRecordingShell() : m_pInstaller(nullptr), m_hEnded(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~KRecordingShell() { CloseHandle(m_hEnded); }

    int AddMessage(const char* pszText) override {
        if (!pszText)
            return 0;
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Lines.push_back(pszText);
        m_Calls.push_back(std::string("AddMessage"));
        return 1;
    }
    int AppendMessage(const char* pszText) override {
        if (!pszText)
            return 0;
        std::lock_guard<std::mutex> lock(m_Lock);
        if (!m_Lines.empty())
            m_Lines.back() += pszText;
        m_Calls.push_back("AppendMessage");
        return 1;
    }
    int ReportError(const char* pszText) override { return Record("ReportError:" + std::string(pszText ? pszText : "")); }
    int OnInstallBegin() override { return Record("OnInstallBegin"); }
    int OnInstallEnd(int bSucceeded) override {
        Record(bSucceeded ? "OnInstallEnd(1)" : "OnInstallEnd(0)");
        SetEvent(m_hEnded);
        return 1;
    }
    int ShowProgress(int bShow) override { return Record(bShow ? "ShowProgress(1)" : "ShowProgress(0)"); }
    int SetUpdateButtonText(const char*) override { return Record("SetUpdateButtonText"); }
    int StepProgress() override { return Record("StepProgress"); }
    const char* GetGamePath() override { return m_strGamePath.c_str(); }
    const char* GetPackagePath() override { return m_strPackagePath.c_str(); }
    KUpdateInstaller* GetUpdateInstaller() override { return m_pInstaller; }

    // True when OnInstallEnd came within uMs (each OnInstallEnd satisfies one wait).
    bool WaitEnded(DWORD uMs) { return WaitForSingleObject(m_hEnded, uMs) == WAIT_OBJECT_0; }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Lines;
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Calls;
    }
    int Count(const std::string& strCall) {
        std::lock_guard<std::mutex> lock(m_Lock);
        int nCount = 0;
        for (const std::string& strOne : m_Calls)
            nCount += strOne == strCall;
        return nCount;
    }

    std::string m_strGamePath;
    std::string m_strPackagePath;
    KUpdateInstaller* m_pInstaller;

private:
    int Record(const std::string& strCall) {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back(strCall);
        return 1;
    }

    std::mutex m_Lock;
    std::vector<std::string> m_Lines;
    std::vector<std::string> m_Calls;
    HANDLE m_hEnded;
};

}  // namespace mwtest

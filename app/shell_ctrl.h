// The control surface through which installation code reports to the user and learns the two
// folders. The main dialog implements it; so does the console front end.
#pragma once

#include "core/update_installer.h"

// Every operation may be called from the install worker thread as well as from the user-interface
// thread. AddMessage, AppendMessage, ShowProgress and StepProgress may return before their effect
// is shown (the dialog queues them and shows them in batches, so that a report costs the worker no
// wait for the window); their effects come in the order of the calls, and all of them before the
// effect of a later OnInstallBegin or OnInstallEnd. Every other operation returns only after its
// effect is done. Texts passed in are copied before the call returns. Pointers returned by
// GetGamePath and GetPackagePath point into the implementation's storage and may change later:
// callers copy them at once.
class IKShellCtrl : public IKMsgOutput {
public:
    // Appends pszText to the current line (the one the last AddMessage created). 0 when pszText
    // is null, else 1.
    virtual int AppendMessage(const char* pszText) = 0;
    // Reports an error text; an implementation may show it or not. 1.
    virtual int ReportError(const char* pszText) = 0;
    // An installation has started. 1.
    virtual int OnInstallBegin() = 0;
    // The installation has ended; bSucceeded nonzero for success. 1.
    virtual int OnInstallEnd(int bSucceeded) = 0;
    // Shows the progress display when bShow is nonzero, hides it otherwise. 1.
    virtual int ShowProgress(int bShow) = 0;
    // Sets the caption of the Update command. 1.
    virtual int SetUpdateButtonText(const char* pszText) = 0;
    // Advances the progress display by one step. 1.
    virtual int StepProgress() = 0;
    // The game folder as the user last confirmed it.
    virtual const char* GetGamePath() = 0;
    // The folder of the running installer and the package files, without a trailing backslash.
    virtual const char* GetPackagePath() = 0;
    virtual KUpdateInstaller* GetUpdateInstaller() = 0;

protected:
    ~IKShellCtrl() = default;
};

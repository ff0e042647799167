// The Update command: the checks before an installation and the start of the install worker.
// The dialog's Update button and the console front end both run it.
#pragma once

class IKShellCtrl;
class KInstallWorker;

// What the Update command needs from its front end beyond the control surface.
class IKUpdateFrontEnd {
public:
    // The game or an update of it runs: tell the user with text 2008 (the dialog: a message box).
    virtual void ShowGameRunning() = 0;
    // Takes over the game folder as the user typed it, so that GetGamePath returns it from now
    // on (the dialog: data exchange from the controls).
    virtual void TakeGamePath() = 0;

protected:
    ~IKUpdateFrontEnd() = default;
};

enum KUpdateOutcome {
    KUPDATE_STARTED = 0,        // checks passed, progress shown, worker started
    KUPDATE_GAME_RUNNING,       // ShowGameRunning, then OnInstallEnd(0)
    KUPDATE_FOLDER_WRONG,       // line 2012, then OnInstallEnd(0)
    KUPDATE_RESOURCES_REFUSED,  // CheckResources nonzero, then OnInstallEnd(0)
    KUPDATE_START_FAILED,       // checks passed, progress shown, the worker could not start
                                // (or one still runs); nothing reported
    KUPDATE_NO_INSTALLER,       // the control surface has no KUpdateInstaller; OnInstallEnd(0)
};

// In this order: the running-game check on the installer's start-up game folder; TakeGamePath;
// the game folder (GetGamePath) empty or not a folder; CheckResources on it. When all pass:
// ShowProgress(1) and pWorker->Start(). Every failed check ends with OnInstallEnd(0). Runs on the
// front end's user-interface thread. Returns the KUpdateOutcome.
int RunUpdateCommand(IKShellCtrl* pShellCtrl, IKUpdateFrontEnd* pFrontEnd, KInstallWorker* pWorker);

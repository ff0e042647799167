// The Update command: the checks before an installation and the start of the install worker.
// The dialog's Update button and the console front end both run it.
#pragma once

class IKMsgOutput;
class IKShellCtrl;
class KInstallWorker;

// What the Update command needs from its front end beyond the control surface.
class IKUpdateFrontEnd {
public:
    // The game runs (text 2008), or another installation runs on the game folder (2090): tell the
    // user with text nTextId (the dialog: a message box).
    virtual void ShowGameRunning(int nTextId) = 0;
    // Takes over the game folder as the user typed it, so that GetGamePath returns it from now
    // on (the dialog: data exchange from the controls).
    virtual void TakeGamePath() = 0;
    // The installed game has the package's version already: asks with text 2006 whether to
    // install it again (the dialog: a Yes/No box; the console: its --reinstall; an unattended
    // start: the line, and no). True to go on.
    virtual bool ConfirmReinstall() = 0;
    // The installed game is too old for the package: text 2005 (the dialog: an OK/Cancel box, OK
    // starts the game's launcher, whose own updater brings the game up, and ends the program;
    // the others: the line). The installation is not made either way.
    virtual void OfferGameUpdater() = 0;

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
    KUPDATE_DESCRIPTION_FAULTY, // Init could not load the description: line 2002, OnInstallEnd(0)
    KUPDATE_PACKAGE_IN_GAME,    // the package lies in the game folder: line 2060, OnInstallEnd(0)
    KUPDATE_RECOVERY_FAILED,    // an interrupted installation could not be undone (reported)
    KUPDATE_VERSION_REFUSED,    // the package does not fit the game's version: 2001, 2003, 2007,
                                // or 2005 / 2006 through the front end; OnInstallEnd(0)
    KUPDATE_PLAN_REFUSED,       // the install plan refuses the package (its one line); OnInstallEnd(0)
    KUPDATE_FILE_IN_USE,        // another program holds version.ini against the run's write:
                                // line 2100; OnInstallEnd(0)
};

// In this order, touching nothing in the game folder until the last: the description loaded; the
// running-game check on the installer's start-up game folder; TakeGamePath; the game folder
// (GetGamePath) a folder that holds the launcher (else 2012); the package folder not the game
// folder nor inside it; neither the game nor an update running in the game folder, whose update
// semaphore the worker then holds for the whole run (else ShowGameRunning); an interrupted
// installation there finished (RecoverInterruptedInstall); the package's versions against the
// game's version.ini (a faulty VersionInfo: 2002; a version.ini another program holds: 2100;
// install/version_check.h); the install plan (MakeInstallPlan: names, sources, packs; its line)
// unless the description lists nothing; CheckResources on it.
// When all pass:
// ShowProgress(1) and pWorker->Start(). Every failed check ends with OnInstallEnd(0). Runs on the
// front end's user-interface thread. Returns the KUpdateOutcome.
int RunUpdateCommand(IKShellCtrl* pShellCtrl, IKUpdateFrontEnd* pFrontEnd, KInstallWorker* pWorker);

// At a front end's start: finishes an installation interrupted in pszGamePath (the folder found at
// start), with its line on pMsgOutput, unless an installation or the game runs there.
void RecoverAtStartUp(const char* pszGamePath, IKMsgOutput* pMsgOutput);

// The update core: the package description Update.dat, the game folder found at start-up, the
// game's resource package list, and the message sink through which the core reports.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/resource_list.h"
#include "xml/xml_document.h"

class IKXmlDocument;

// Message sink of the update core. The control surface of the shell continues this interface.
class IKMsgOutput {
public:
    // Adds pszText as a new last line of the message list, copied before the call returns.
    // 0 when pszText is null (nothing happens), else 1.
    virtual int AddMessage(const char* pszText) = 0;

protected:
    ~IKMsgOutput() = default;
};

// One application named by the package description. The name is always the product name; the
// four numbers are 0.
struct KAppInfo {
    char szName[260];
    int nValue[4];
};

class KUpdateInstaller {
public:
    KUpdateInstaller();
    ~KUpdateInstaller();
    KUpdateInstaller(const KUpdateInstaller&) = delete;
    KUpdateInstaller& operator=(const KUpdateInstaller&) = delete;

    // Loads the package description pszUpdateFile (UTF-8, as every path of the program), reporting
    // one whose path the engine library cannot be given with text 2080 and an unusable one with
    // text 2002, then
    // searches the game folder, reports it (2011 or 2012) and loads its resource package list.
    // 0 when the description is unusable or the resource list failed to load, else 1.
    int Init(const char* pszUpdateFile, IKMsgOutput* pMsgOutput);

    // Init's first half: loads the description pszUpdateFile and reads its title and applications,
    // reporting on m_pMsgOutput as Init does; the game folder is not searched. 0 when the
    // description is unusable, else 1.
    int LoadDescription(const char* pszUpdateFile);

    // pszTitle holds KXML_TEXT_SIZE bytes. Without a loaded description with a Root returns the
    // static "" and leaves pszTitle alone; otherwise copies the package title (possibly "") into
    // pszTitle and returns it. The title is read once by Init, so any thread may ask.
    const char* GetAppTitle(char* pszTitle);

    // 1 when the "UPDATE" or the "CLIENT" semaphore of m_strGamePath exists, else 0.
    int IsGameRunning();

    // Loads resource.ini and resinstall.ini from <pszGamePath>\resource\, creating that one folder
    // when it is missing. Nothing is created or loaded (the list is emptied) for a folder that
    // cannot hold the game (CanHoldGame). 1 when loaded, else 0.
    int LoadResourceList(const char* pszGamePath);

    // The pre-install check on the folder installed into: 0 to go on with the installation; 1,
    // with line 2012, when pszGamePath is null or its list does not load; 2 when the player
    // declines to reinstall a handed-off package, or when CancelChecks came meanwhile. The list
    // is loaded on another thread while this one keeps answering its windows; the question is
    // modal to the question owner.
    int CheckResources(const char* pszGamePath);

    // 1 unless Init found the description missing, damaged or without a Root: a description the
    // parser gave up on may hold a partial tree, which must never be installed.
    int IsDescriptionUsable() const { return !m_bLoadFailed && m_pXmlDoc != nullptr; }

    // Asks the question of catalogue text nTextId in a message box of type uType, modal to the
    // question owner; the button pressed, or 0 when the box could not be shown or CancelChecks
    // came before or meanwhile (CancelChecks closes it).
    int AskQuestion(int nTextId, unsigned int uType);

    // The window that owns the reinstall question (null: none).
    void SetQuestionOwner(HWND hOwner) { m_hQuestionOwner = hOwner; }
    // The front end is ending: a CheckResources under way, now or later, ends with 2, and an
    // open reinstall question is closed. Called on the thread that runs CheckResources.
    void CancelChecks();

    // 1 when the game folder came from a handoff file of the unattended start.
    int IsPathFromIni() const { return m_bPathFromIni; }

    std::vector<KAppInfo> m_AppInfoList;
    std::string m_strGamePath;
    IKXmlDocument* m_pXmlDoc;
    IKMsgOutput* m_pMsgOutput;
    std::vector<KResourceEntry> m_HandoffList;
    // The handoff files that Init read as such (a GamePath in the product's section), by the
    // full paths it opened: the only files the unattended start may delete.
    std::vector<std::string> m_HandoffFilesRead;
    int m_bPathFromIni;
    KResourceList m_ResourceList;

private:
    // Second half of Init: handoff files, registry, default folders; report; resource list.
    int FindGamePath();

    // The package title, read once by Init; m_bHasRoot is 1 when the description has a Root.
    int m_bHasRoot;
    int m_bLoadFailed;
    char m_szTitle[KXML_TEXT_SIZE];
    HWND m_hQuestionOwner;
    int m_bQuestionOpen;
    int m_bChecksCancelled;
};

#include "app/choose_folder.h"

#include <shlobj.h>

int ChooseFolder(const char* pszTitle, char* pszPath, HWND hOwner) {
    if (!pszPath)
        return 0;
    char szDisplayName[MAX_PATH] = {0};
    BROWSEINFOA browse = {};
    browse.hwndOwner = hOwner;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = szDisplayName;
    browse.lpszTitle = pszTitle;
    // File-system folders only, not below the domain, file-system ancestors, validate.
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_RETURNFSANCESTORS | BIF_VALIDATE;
    browse.lpfn = nullptr;
    LPITEMIDLIST pItems = SHBrowseForFolderA(&browse);
    if (!pItems)
        return 0;
    char szChosen[MAX_PATH] = {0};
    BOOL bHasPath = SHGetPathFromIDListA(pItems, szChosen);
    CoTaskMemFree(pItems);
    if (!bHasPath)
        return 0;
    lstrcpynA(pszPath, szChosen, MAX_PATH);
    return 1;
}

#include "app/choose_folder.h"

#include <shlobj.h>

#include <string>

#include "core/text_copy.h"
#include "core/win_text.h"

int ChooseFolder(const char* pszTitle, char* pszPath, HWND hOwner) {
    if (!pszPath)
        return 0;
    wchar_t wszDisplayName[MAX_PATH] = {0};
    std::wstring wstrTitle = Utf8ToWide(pszTitle);
    BROWSEINFOW browse = {};
    browse.hwndOwner = hOwner;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = wszDisplayName;
    browse.lpszTitle = wstrTitle.c_str();
    // File-system folders only, not below the domain, file-system ancestors, validate.
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_RETURNFSANCESTORS | BIF_VALIDATE;
    browse.lpfn = nullptr;
    LPITEMIDLIST pItems = SHBrowseForFolderW(&browse);
    if (!pItems)
        return 0;
    wchar_t wszChosen[MAX_PATH] = {0};
    BOOL bHasPath = SHGetPathFromIDListW(pItems, wszChosen);
    CoTaskMemFree(pItems);
    if (!bHasPath)
        return 0;
    return CopyTextCut(pszPath, WideToUtf8(wszChosen).c_str(), MW_PATH_BYTES);
}

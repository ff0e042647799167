#include "core/library_search.h"

#include <cwchar>
#include <string>

bool RestrictLibrarySearch() {
    // Looked up rather than imported: without the update the program would not start at all.
    typedef BOOL(WINAPI * KSetDefaultDllDirectories)(DWORD);
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    KSetDefaultDllDirectories pfnSetDefault =
        hKernel ? reinterpret_cast<KSetDefaultDllDirectories>(
                      reinterpret_cast<void*>(GetProcAddress(hKernel, "SetDefaultDllDirectories")))
                : nullptr;
    bool bRestricted = pfnSetDefault && pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current folder out of the search that remains for calls naming no folders.
    SetDllDirectoryW(L"");
    return bRestricted;
}

HMODULE LoadEngineLibrary() {
    wchar_t wszPath[MAX_PATH] = {0};
    DWORD dwLen = GetModuleFileNameW(nullptr, wszPath, MAX_PATH);
    if (!dwLen || dwLen >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    wchar_t* pwszSlash = std::wcsrchr(wszPath, L'\\');
    const wchar_t wszName[] = L"engine.dll";
    size_t uFolder = pwszSlash ? static_cast<size_t>(pwszSlash - wszPath) + 1 : 0;
    if (uFolder + sizeof(wszName) / sizeof(wszName[0]) > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    std::wcscpy(wszPath + uFolder, wszName);
    // No search flags: the library's own imports come from the default folders, the system folder
    // once the search is restricted. The delay-load helper later asks for "engine.dll" by name and
    // gets this module, since a library of that name is already loaded.
    return LoadLibraryExW(wszPath, nullptr, 0);
}

HMODULE LoadLibraryInFolder(const char* pszFolder, const char* pszName) {
    // Converted here rather than through core/win_text: the packaging tool builds this file alone.
    std::string strPath = std::string(pszFolder ? pszFolder : "") + "\\" + (pszName ? pszName : "");
    wchar_t wszPath[MAX_PATH] = {0};
    if (!pszFolder || !pszFolder[0] ||
        !MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, strPath.c_str(), -1, wszPath, MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return LoadLibraryExW(wszPath, nullptr, 0);
}

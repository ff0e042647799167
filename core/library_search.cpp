#include "core/library_search.h"

#include <cwchar>
#include <string>

namespace {

// System libraries that the system's own components load by name only when first needed: the theme
// library loads msimg32.dll when it first draws a themed control (the dialog's Update), through a
// search that under Wine still looks in the program's folder. Loaded now from the system folder by
// full path, so that those later loads by name find them loaded.
const wchar_t* const s_apwszLateSystemLibraries[] = {L"msimg32.dll"};

void s_LoadLateSystemLibraries() {
    wchar_t wszSystem[MAX_PATH] = {0};
    UINT uLen = GetSystemDirectoryW(wszSystem, MAX_PATH);
    if (!uLen || uLen >= MAX_PATH)
        return;
    for (const wchar_t* pwszName : s_apwszLateSystemLibraries) {
        std::wstring wstrPath = std::wstring(wszSystem, uLen) + L"\\" + pwszName;
        LoadLibraryExW(wstrPath.c_str(), nullptr, 0);
    }
}

}  // namespace

bool RestrictLibrarySearch(bool bForWindows) {
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
    if (bForWindows)
        s_LoadLateSystemLibraries();
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

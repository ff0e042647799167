// The program's text at its edges. Inside, every narrow text (catalogue lines, paths, element
// texts, message lines) is UTF-8; it is converted once where it enters (the catalogue, Update.dat,
// registry, INI files, folder searches, module and temporary paths, the command line) and once
// where it leaves: the wide Win32 calls below, GBK for redirected console output and script
// strings, the system's ANSI code page for what ANSI programs of that system read (the engine
// library's paths, the semaphore digests, the game's INI files).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The code page of the catalogue's and Update.dat's Chinese texts.
enum { CP_GBK = 936 };

// A path of at most MAX_PATH - 1 UTF-16 units is at most this many bytes in UTF-8, terminator
// included: the size of the program's fixed path buffers.
enum { MW_PATH_BYTES = MAX_PATH * 3 };

// pszUtf8 (null as "") in UTF-16.
std::wstring Utf8ToWide(const char* pszUtf8);
std::wstring Utf8ToWide(const std::string& strUtf8);
// nLen units of pwszText (-1: up to its NUL; null as "") in UTF-8.
std::string WideToUtf8(const wchar_t* pwszText, int nLen = -1);
// uSize bytes of text in code page uCodePage (CP_ACP, CP_GBK, ...) in UTF-8.
std::string CodePageToUtf8(UINT uCodePage, const char* pBytes, size_t uSize);
std::string CodePageToUtf8(UINT uCodePage, const std::string& strBytes);
// strUtf8 in code page uCodePage. A character the code page lacks becomes its default character
// ("?"); *pbExact (when given) tells whether none did.
std::string Utf8ToCodePage(UINT uCodePage, const std::string& strUtf8, bool* pbExact = nullptr);

// The number of UTF-16 units of pszUtf8 (null as 0): the length the system's limits count.
size_t Utf16Length(const char* pszUtf8);
// True when strPath is short enough for the system's path buffers: fewer than MAX_PATH UTF-16 units.
bool FitsMaxPath(const std::string& strPath);

// strPath as the system's ANSI text for callers that take only that (the engine library): the
// path itself when the code page holds every character of it, else the short (8.3) form of the
// longest existing part when that is expressible, followed by the rest; "" when neither is.
std::string SystemAnsiPath(const std::string& strPath);

// The Win32 file calls the program makes, taking UTF-8 paths; results and GetLastError as the
// wide call gives them.
DWORD GetFileAttributesU8(const char* pszPath);
BOOL SetFileAttributesU8(const char* pszPath, DWORD dwAttributes);
HANDLE CreateFileU8(const char* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
BOOL DeleteFileU8(const char* pszPath);
BOOL CreateDirectoryU8(const char* pszPath);
BOOL RemoveDirectoryU8(const char* pszPath);
BOOL MoveFileU8(const char* pszFrom, const char* pszTo);
BOOL MoveFileExU8(const char* pszFrom, const char* pszTo, DWORD dwFlags);
// FindFirstFileW over a UTF-8 pattern; the caller converts found names with WideToUtf8.
HANDLE FindFirstFileU8(const char* pszPattern, WIN32_FIND_DATAW* pFound);

// The full path of pszPath in *pstrFull; false (nothing written) when the system cannot make one
// or it would not fit MAX_PATH.
bool GetFullPathU8(const char* pszPath, std::string* pstrFull);
// The long form of an existing path in *pstrLong; false when there is none that fits MAX_PATH.
bool GetLongPathU8(const char* pszPath, std::string* pstrLong);
// The path of module hModule (null: the program) in *pstrPath; false when it does not fit MAX_PATH.
bool GetModulePathU8(HMODULE hModule, std::string* pstrPath);
// The temporary folder with its trailing backslash; false when it cannot be read or is too long.
bool GetTempFolderU8(std::string* pstrFolder);

// GetPrivateProfileStringW of pszSection / pszKey in pszFile, into a buffer of uChars UTF-16
// units (as the ANSI call's buffer of that many bytes would cut), in UTF-8.
std::string GetProfileTextU8(const char* pszSection, const char* pszKey, const char* pszDefault, const char* pszFile,
                             size_t uChars);
BOOL WriteProfileTextU8(const char* pszSection, const char* pszKey, const char* pszValue, const char* pszFile);

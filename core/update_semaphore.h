// Running-game detection: named semaphores in the global namespace, "Global\" + a prefix
// ("UPDATE" or "CLIENT") + the MD5 text of a folder path. The game's own programs form the same
// names; their existence alone is the signal.
#pragma once

#include <string>

// The semaphore name for pszPrefix and the folder that holds pszPath (pszPath with its last
// component removed; with a null pszPath, the folder of the running program): the prefix, cut to
// 63 characters, followed by the MD5 text of that folder, or the prefix alone when the digest
// fails. pszPath is UTF-8; the digest is that of the folder in the system's ANSI code page, as
// the game's ANSI programs form it (a character the code page lacks counts as its default
// character, "?"). Points to a static buffer of 128 bytes that the next call overwrites (one
// thread only).
const char* MakeSemaphoreName(const char* pszPrefix, const char* pszPath);

// The semaphore name for pszPrefix and the folder pszFolder itself, in its normal form
// (NormalFolderPath): "C:\game", "C:\game\" and "c:\GAME" name one semaphore, the one the game's
// own programs form from their folder. Same buffer rules as MakeSemaphoreName.
const char* MakeFolderSemaphoreName(const char* pszPrefix, const char* pszFolder);

// The name of the installer's own semaphore for the folder pszFolder itself, whatever path reaches
// it (a folder link, another drive letter, a short name): "MendwrightFolder" followed by the
// folder's file index and creation time, which every such path shares; "" when the folder cannot
// be opened.
std::string MakeFolderIdentityName(const char* pszFolder);

// 1 when the game or an update runs in the folder pszFolder: the "UPDATE" or "CLIENT" semaphore
// of its normal form, or of the folder as written, exists. One thread only.
int IsFolderInUse(const char* pszFolder);

// 1 when the pszPrefix semaphore ("UPDATE" or "CLIENT") of the folder pszFolder, in its normal form
// or as written, exists. One thread only.
int IsFolderHeldBy(const char* pszPrefix, const char* pszFolder);

// 1 when "Global\<pszName>" exists and opens with full access; 0 otherwise (absent, refused, or
// a name too long to form).
int IsSemaphoreExist(const char* pszName);

// The installer's own "UPDATE" semaphore, held while an installation runs.
class KUpdateSemaphore {
public:
    KUpdateSemaphore();
    // Lets go of the semaphore if still held.
    ~KUpdateSemaphore();
    KUpdateSemaphore(const KUpdateSemaphore&) = delete;
    KUpdateSemaphore& operator=(const KUpdateSemaphore&) = delete;

    // Takes hold of "Global\<m_szName>". When it exists already (another program holds it):
    // with bKeepExisting keeps the opened handle and returns 1, else returns 0 and holds
    // nothing. Otherwise creates it and returns 1 on success. Returns 0 at once when a handle
    // is held already.
    int Acquire(int bKeepExisting);
    // Closes the handle, if held.
    void Release();

    void* m_hSemaphore;  // HANDLE while held, else null
    char m_szName[128];  // the name before "Global\" is put in front
};

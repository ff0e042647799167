// Declarations of the game's engine library as the installer calls it. The library itself lies
// outside the installer; engine/ builds a stand-in with the same exports.
#pragma once

#ifdef ENGINE_BUILD
#define ENGINE_API __declspec(dllexport)
#elif defined(__MINGW32__)
// Delay-loaded (cmake/delay_load.cmake): called through the stubs by name, not dllimport.
#define ENGINE_API
#else
#define ENGINE_API __declspec(dllimport)
#endif

struct lua_State;

// File object of the engine. Only Read, Size and Release are called by the installer; the other
// operations keep the engine's own table layout.
class IKEngineFile {
public:
    // Reads up to nSize bytes into pBuffer; returns the number of bytes read.
    virtual int Read(void* pBuffer, int nSize) = 0;
    virtual int Write(const void* pBuffer, int nSize) = 0;
    // Size of the file in bytes.
    virtual int Size() = 0;
    virtual int Seek(int nOffset, int nOrigin) = 0;
    // Closes the file and frees the object; call once per open.
    virtual void Release() = 0;
    virtual int Tell() = 0;

protected:
    ~IKEngineFile() = default;
};

enum XRLOG_PRIORITY {
    XRLOG_PRIORITY_ERROR = 3,
    XRLOG_PRIORITY_INFO = 6,
    XRLOG_PRIORITY_DEBUG = 7,
};

// Script object: a stack of values over a Lua state. Every operation returns int; only
// GetTopIndex's result is meaningful to callers.
class ENGINE_API KTwScript {
public:
    KTwScript();
    ~KTwScript();
    KTwScript(const KTwScript&) = delete;
    KTwScript& operator=(const KTwScript&) = delete;

    int GetTopIndex();
    int SetTopIndex(int nIndex);
    int PushTable();
    int PushString(const char* pszText);
    // Pops the top value and stores it under pszKey in the table just below it.
    int SetTableField(const char* pszKey);
    // Pops the top value and stores it under the integer key nIndex in the table just below it.
    int SetTableIndex(int nIndex);

    // For tests: runs pszChunk as a function called with the top value of the stack and copies
    // its string result (at most nSize - 1 bytes) into pszResult. 1 on success; on an error
    // the error text goes to pszResult and 0 is returned. The stack is left unchanged.
    int RunOnTop(const char* pszChunk, char* pszResult, int nSize);

private:
    lua_State* m_pLua;
};

extern "C" {
// Opens a file for reading; null when it cannot be opened.
ENGINE_API IKEngineFile* g_OpenFile(const char* pszFileName, int nMode, int nFlags, int nReserved);
ENGINE_API int g_StrLen(const char* pszText);
// Copies pszSrc into pszDst, truncated to fit nSize bytes with its terminator.
ENGINE_API int g_StrCpyLen(char* pszDst, const char* pszSrc, int nSize);
// Writes one log entry. The stand-in appends it to the file named by ENGINE_LOG.
ENGINE_API int XRLogPrintf(XRLOG_PRIORITY ePriority, const char* pszFormat, ...);
// Writes the MD5 digest of pszText as 32 lower-case hex digits into pszDigest (at least 33
// bytes). 1 on success, 0 on failure.
ENGINE_API int XR_EDStringToMD5String(char* pszDigest, const char* pszText);
}

// File access of the engine stand-in over Win32 file handles.
#include <windows.h>

#include <new>

#include "xml/engine_api.h"

namespace {

class KEngineFile final : public IKEngineFile {
public:
    explicit KEngineFile(HANDLE hFile) : m_hFile(hFile) {}

    int Read(void* pBuffer, int nSize) override {
        if (!pBuffer || nSize <= 0)
            return 0;
        char* pDst = static_cast<char*>(pBuffer);
        int nDone = 0;
        while (nDone < nSize) {
            DWORD dwRead = 0;
            if (!ReadFile(m_hFile, pDst + nDone, static_cast<DWORD>(nSize - nDone), &dwRead, nullptr) ||
                dwRead == 0)
                break;
            nDone += static_cast<int>(dwRead);
        }
        return nDone;
    }

    int Write(const void*, int) override { return 0; }  // opened for reading only

    int Size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_hFile, &size) || size.QuadPart > 0x7FFFFFFF)
            return 0;
        return static_cast<int>(size.QuadPart);
    }

    int Seek(int nOffset, int nOrigin) override {
        return SetFilePointer(m_hFile, nOffset, nullptr, static_cast<DWORD>(nOrigin)) !=
               INVALID_SET_FILE_POINTER;
    }

    void Release() override {
        CloseHandle(m_hFile);
        delete this;
    }

    int Tell() override { return static_cast<int>(SetFilePointer(m_hFile, 0, nullptr, FILE_CURRENT)); }

private:
    HANDLE m_hFile;
};

}  // namespace

IKEngineFile* g_OpenFile(const char* pszFileName, int, int, int) {
    if (!pszFileName || !pszFileName[0])
        return nullptr;
    HANDLE hFile = CreateFileA(pszFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return nullptr;
    return new (std::nothrow) KEngineFile(hFile);
}

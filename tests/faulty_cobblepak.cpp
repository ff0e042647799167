// Test helper: a Cobblepak.dll whose PackComb goes wrong in the way the environment variable
// COBBLEPAK_FAULT names, so that tests see what the installer makes of a faulty library:
//   crash     appends 1 MiB of junk to the destination, then crashes (an access violation)
//   header    writes a header whose index lies past the end of the file, and reports success
//   nothing   touches nothing, and reports success
//   refuse    touches nothing, and reports failure
// Any other value (or none): reports failure.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

extern "C" __declspec(dllexport) int __cdecl PackComb(const char* pszDstPack, const char*) {
    char szFault[32] = {0};
    GetEnvironmentVariableA("COBBLEPAK_FAULT", szFault, sizeof(szFault));
    if (std::strcmp(szFault, "nothing") == 0)
        return S_OK;
    if (std::strcmp(szFault, "crash") != 0 && std::strcmp(szFault, "header") != 0)
        return E_INVALIDARG;
    std::FILE* pFile = std::fopen(pszDstPack, "r+b");
    if (!pFile)
        return E_INVALIDARG;
    if (std::strcmp(szFault, "crash") == 0) {
        std::vector<char> junk(1 << 20, 'j');
        std::fseek(pFile, 0, SEEK_END);
        std::fwrite(junk.data(), 1, junk.size(), pFile);
        std::fflush(pFile);
        volatile int* pnNowhere = nullptr;
        *pnNowhere = 1;
    }
    // Entry count 1, index offset 0x7FFFFFF0, data offset 32.
    const unsigned char abyHeader[16] = {0, 0, 0, 0, 1, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F, 32, 0, 0, 0};
    std::fwrite(abyHeader, 1, sizeof(abyHeader), pFile);
    std::fclose(pFile);
    return S_OK;
}

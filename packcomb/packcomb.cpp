#include "packcomb.h"

#include "pack_merge.h"

extern "C" int COBBLEPAK_CALL PackComb(const char* pszDstPack, const char* pszSrcPack)
{
    // No exception may cross the C boundary into the calling program.
    try {
        return cobblepak::MergePackFiles(pszDstPack, pszSrcPack);
    } catch (...) {
        return E_INVALIDARG;
    }
}

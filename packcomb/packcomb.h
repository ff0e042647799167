/* Cobblepak: merges one pack file into another in place. The library's only export. */
#ifndef COBBLEPAK_PACKCOMB_H
#define COBBLEPAK_PACKCOMB_H

#if defined(_WIN32)
#include <windows.h>
#define COBBLEPAK_CALL __cdecl
#else
#define COBBLEPAK_CALL
#endif

#ifndef S_OK
#define S_OK 0
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG ((int)0x80070057)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Merges the pack at pszSrcPack into the pack at pszDstPack (paths in the ANSI code page):
   appends the source's data region to the destination, writes the merged index after it and
   then points the destination's header to that index. A source key already in the destination
   replaces that entry; among equal source keys the later one wins. The source is only read.
   Returns S_OK (0) when merged, and when the source has no entries (nothing changes then).
   Returns E_INVALIDARG, with nothing written, when a file cannot be opened, a header does not
   match its file (data region starting inside the header, index before the data or outside the
   file), the destination is not sound (index not sorted with unique keys, or an entry outside
   its data region), a source entry lies outside the source's data region, or the result would
   pass 2 GiB - 1 bytes. Returns E_INVALIDARG too when a read, write or allocation fails during
   the merge; the destination is then cut back to its old length, byte for byte as it was. (The
   one exception: when only the final step fails, putting the rewritten header on storage, the
   file may read as either the old or the merged pack.) A process killed during a merge leaves
   the old pack, perhaps followed by unreferenced bytes, or the merged one. */
int COBBLEPAK_CALL PackComb(const char* pszDstPack, const char* pszSrcPack);

typedef int(COBBLEPAK_CALL* PFN_PACKCOMB)(const char* pszDstPack, const char* pszSrcPack);

#ifdef __cplusplus
}
#endif

#endif

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
   Returns E_INVALIDARG when a file cannot be opened, a header does not match its file, the
   destination's index is not sorted with unique keys, the result would pass 2 GiB - 1 bytes, or
   a read, write or allocation fails. On failure the destination still reads as the pack it was:
   its header is untouched and anything written after its old end is unreferenced. (The one
   exception: when only the final step fails, putting the rewritten header on storage, the result
   is E_INVALIDARG and the file may read as either the old or the merged pack.) */
int COBBLEPAK_CALL PackComb(const char* pszDstPack, const char* pszSrcPack);

typedef int(COBBLEPAK_CALL* PFN_PACKCOMB)(const char* pszDstPack, const char* pszSrcPack);

#ifdef __cplusplus
}
#endif

#endif

// The in-place merge of one pack file into another, behind PackComb.
#ifndef COBBLEPAK_PACK_MERGE_H
#define COBBLEPAK_PACK_MERGE_H

namespace cobblepak {

// Contract of PackComb (packcomb.h), except that an allocation failure may leave as
// std::bad_alloc; PackComb turns every exception into E_INVALIDARG. Nothing is allocated after
// the destination's header is rewritten, and the header is rewritten last.
int MergePackFiles(const char* pszDstPack, const char* pszSrcPack);

}  // namespace cobblepak

#endif

// Bounded text copies for the fixed-size buffers of the installer.
#pragma once

#include <cstddef>

// Copies pszSrc into pszDst, which holds uSize bytes, and always terminates it. A text that does
// not fit is cut before the character that would not fit: a UTF-8 sequence is never split. Returns 1 when the whole text was copied, 0 when it was cut
// (or when pszDst is null or uSize is 0). A null pszSrc copies as "".
int CopyTextCut(char* pszDst, const char* pszSrc, size_t uSize);

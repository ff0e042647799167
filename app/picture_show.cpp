#include "app/picture_show.h"

#include <cstring>

int KPictureShow::LoadFromResource(HINSTANCE hModule, const char* pszName, const char* pszType) {
    if (m_pPict)
        Free();
    HRSRC hResource = FindResourceA(hModule, pszName, pszType);
    if (!hResource)
        return 0;
    HGLOBAL hData = LoadResource(hModule, hResource);
    const void* pData = hData ? LockResource(hData) : nullptr;
    if (!pData)
        return 0;
    DWORD dwSize = SizeofResource(hModule, hResource);
    // Resources of a loaded module need no freeing; FreeResource is a no-op kept for symmetry.
    int bLoaded = dwSize > 0 && LoadFromMemory(pData, static_cast<int>(dwSize));
    FreeResource(hData);
    return bLoaded ? 1 : 0;
}

int KPictureShow::LoadFromMemory(const void* pData, int nSize) {
    if (!pData || nSize <= 0)
        return 0;
    Free();
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(nSize));
    if (!hBlock)
        return 0;
    void* pBlock = GlobalLock(hBlock);
    if (!pBlock) {
        GlobalFree(hBlock);
        return 0;
    }
    std::memcpy(pBlock, pData, static_cast<size_t>(nSize));
    GlobalUnlock(hBlock);

    IStream* pStream = nullptr;
    // The stream frees the block when it is released.
    if (FAILED(CreateStreamOnHGlobal(hBlock, TRUE, &pStream)) || !pStream) {
        GlobalFree(hBlock);
        return 0;
    }
    void* pPicture = nullptr;
    if (FAILED(OleLoadPicture(pStream, nSize, FALSE, IID_IPicture, &pPicture)))
        pPicture = nullptr;
    m_pPict = static_cast<IPicture*>(pPicture);
    pStream->Release();
    return m_pPict != nullptr;
}

int KPictureShow::Render(HDC hDC, const RECT* pRect) {
    if (!hDC || !pRect || !m_pPict)
        return 0;
    OLE_XSIZE_HIMETRIC nWidth = 0;
    OLE_YSIZE_HIMETRIC nHeight = 0;
    m_pPict->get_Width(&nWidth);
    m_pPict->get_Height(&nHeight);
    // HIMETRIC runs upwards: start at the bottom and go up by the negated height, so the
    // picture comes out upright.
    HRESULT hr = m_pPict->Render(hDC, pRect->left, pRect->top, pRect->right - pRect->left,
                                 pRect->bottom - pRect->top, 0, nHeight, nWidth, -nHeight, nullptr);
    // A picture that fails to draw leaves the area as it was; nothing else depends on it.
    return SUCCEEDED(hr) ? 1 : 0;
}

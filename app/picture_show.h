// The dialog's banner: a JPEG resource decoded once by OLE and drawn stretched on every paint.
#pragma once

#include "app/picture_holder.h"

class KPictureShow : public KPictureHolder {
public:
    KPictureShow() {}
    virtual ~KPictureShow() { Free(); }

    // Loads the resource pszName of type pszType from hModule as a picture, releasing a picture
    // held before. 1 when a picture was loaded; 0 when the resource is missing or cannot be
    // decoded (nothing is held then).
    int LoadFromResource(HINSTANCE hModule, const char* pszName, const char* pszType);
    // Decodes nSize bytes of picture data (any format OLE reads: JPEG, GIF, BMP). Nonzero when a
    // picture is held afterwards.
    int LoadFromMemory(const void* pData, int nSize);
    // Draws the whole picture stretched into *pRect. Nothing happens without a picture or a
    // device context; 1 when the picture was drawn.
    int Render(HDC hDC, const RECT* pRect);
    // Releases the held picture, if any.
    void Free() { ReleasePicture(); }
};

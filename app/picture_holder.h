// Holds one OLE picture: the owner of one reference on an IPicture.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

class KPictureHolder {
public:
    KPictureHolder() : m_pPict(nullptr) {}
    ~KPictureHolder() { ReleasePicture(); }
    KPictureHolder(const KPictureHolder&) = delete;
    KPictureHolder& operator=(const KPictureHolder&) = delete;

    // Drops the held reference, if any.
    void ReleasePicture() {
        if (m_pPict) {
            m_pPict->Release();
            m_pPict = nullptr;
        }
    }

    // The held picture; null when none is held.
    IPicture* m_pPict;
};

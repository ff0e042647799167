#include "core/sha256.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

// The algorithm provider, opened once per process: opening it is the costly step.
BCRYPT_ALG_HANDLE s_Provider() {
    static BCRYPT_ALG_HANDLE s_hAlgorithm = [] {
        BCRYPT_ALG_HANDLE hAlgorithm = nullptr;
        if (BCryptOpenAlgorithmProvider(&hAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            hAlgorithm = nullptr;
        return hAlgorithm;
    }();
    return s_hAlgorithm;
}

const char s_szHex[] = "0123456789abcdef";

}  // namespace

KSha256::KSha256() : m_pState(nullptr), m_bFailed(false) {
    BCRYPT_HASH_HANDLE hHash = nullptr;
    BCRYPT_ALG_HANDLE hAlgorithm = s_Provider();
    if (!hAlgorithm || BCryptCreateHash(hAlgorithm, &hHash, nullptr, 0, nullptr, 0, 0) < 0)
        m_bFailed = true;
    else
        m_pState = hHash;
}

KSha256::~KSha256() {
    if (m_pState)
        BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_pState));
}

bool KSha256::Update(const void* pData, size_t uSize) {
    const unsigned char* pby = static_cast<const unsigned char*>(pData);
    while (!m_bFailed && uSize > 0) {
        ULONG uPart = uSize > 0x40000000u ? 0x40000000u : static_cast<ULONG>(uSize);
        if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_pState), const_cast<PUCHAR>(pby), uPart, 0) < 0)
            m_bFailed = true;
        pby += uPart;
        uSize -= uPart;
    }
    return !m_bFailed;
}

std::string KSha256::FinishHex() {
    unsigned char abyDigest[32];
    if (m_bFailed || BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_pState), abyDigest, sizeof(abyDigest), 0) < 0) {
        m_bFailed = true;
        return std::string();
    }
    std::string strHex;
    for (unsigned char by : abyDigest) {
        strHex += s_szHex[by >> 4];
        strHex += s_szHex[by & 15];
    }
    return strHex;
}

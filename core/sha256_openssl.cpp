#include "core/sha256.h"

#include <openssl/evp.h>

namespace {

const char s_szHex[] = "0123456789abcdef";

}  // namespace

KSha256::KSha256() : m_pState(nullptr), m_bFailed(false) {
    EVP_MD_CTX* pContext = EVP_MD_CTX_new();
    if (!pContext || EVP_DigestInit_ex(pContext, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(pContext);
        m_bFailed = true;
    } else {
        m_pState = pContext;
    }
}

KSha256::~KSha256() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_pState));
}

bool KSha256::Update(const void* pData, size_t uSize) {
    if (!m_bFailed && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_pState), pData, uSize) != 1)
        m_bFailed = true;
    return !m_bFailed;
}

std::string KSha256::FinishHex() {
    unsigned char abyDigest[EVP_MAX_MD_SIZE];
    unsigned int uLen = 0;
    if (m_bFailed || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_pState), abyDigest, &uLen) != 1 || uLen != 32) {
        m_bFailed = true;
        return std::string();
    }
    std::string strHex;
    for (unsigned i = 0; i < uLen; ++i) {
        strHex += s_szHex[abyDigest[i] >> 4];
        strHex += s_szHex[abyDigest[i] & 15];
    }
    return strHex;
}

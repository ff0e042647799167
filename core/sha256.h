// SHA-256 digests of package files, through the platform's own cryptography: CNG (bcrypt.dll) on
// Windows, OpenSSL's libcrypto on Linux. No digest code of our own.
#pragma once

#include <cstddef>
#include <string>

class KSha256 {
public:
    KSha256();
    ~KSha256();
    KSha256(const KSha256&) = delete;
    KSha256& operator=(const KSha256&) = delete;

    // Adds uSize bytes. false when the platform refused (the digest is then unusable).
    bool Update(const void* pData, size_t uSize);
    // The digest of everything added, as 64 lower-case hex digits; "" when any step failed. Call
    // once.
    std::string FinishHex();

private:
    void* m_pState;
    bool m_bFailed;
};


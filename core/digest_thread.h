// Hashes a file's chunks on a thread of its own while the caller reads and writes the next ones,
// so that a copy with digests takes the longer of the copy and the hash, not their sum.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

class KSha256;

class KDigestThread {
public:
    // Every chunk handed over goes into *pDigest, in order; *pDigest must outlive this object.
    explicit KDigestThread(KSha256* pDigest);
    // Waits for the chunk in hand, then ends the thread.
    ~KDigestThread();
    KDigestThread(const KDigestThread&) = delete;
    KDigestThread& operator=(const KDigestThread&) = delete;

    // Waits until the chunk handed over before is hashed, then hands over this one. Its bytes
    // must stay as they are until the next Add, Wait or the destructor.
    void Add(const void* pData, size_t uSize);
    // Waits until every chunk handed over is hashed.
    void Wait();

private:
    void Run();

    KSha256* m_pDigest;
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    const void* m_pData = nullptr;  // the chunk in hand; nullptr when there is none
    size_t m_uSize = 0;
    bool m_bEnd = false;
    std::thread m_Thread;
};

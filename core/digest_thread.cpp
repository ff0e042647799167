#include "core/digest_thread.h"

#include "core/sha256.h"

KDigestThread::KDigestThread(KSha256* pDigest) : m_pDigest(pDigest), m_Thread(&KDigestThread::Run, this) {}

KDigestThread::~KDigestThread() {
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        m_Changed.wait(lock, [this] { return m_pData == nullptr; });
        m_bEnd = true;
    }
    m_Changed.notify_all();
    m_Thread.join();
}

void KDigestThread::Add(const void* pData, size_t uSize) {
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        m_Changed.wait(lock, [this] { return m_pData == nullptr; });
        m_pData = pData;
        m_uSize = uSize;
    }
    m_Changed.notify_all();
}

void KDigestThread::Wait() {
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Changed.wait(lock, [this] { return m_pData == nullptr; });
}

void KDigestThread::Run() {
    std::unique_lock<std::mutex> lock(m_Lock);
    for (;;) {
        m_Changed.wait(lock, [this] { return m_pData != nullptr || m_bEnd; });
        if (!m_pData)
            return;
        const void* pData = m_pData;
        size_t uSize = m_uSize;
        // The lock is not held while hashing: the caller meanwhile writes this chunk and reads
        // the next into its other buffer.
        lock.unlock();
        m_pDigest->Update(pData, uSize);
        lock.lock();
        m_pData = nullptr;
        m_Changed.notify_all();
    }
}

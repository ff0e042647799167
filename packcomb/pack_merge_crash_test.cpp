// Merges that end abruptly: the disk fills up, or the process is killed. Both run the merge in
// a child process (POSIX), so the limit or the kill touches nothing of the test itself.
#include "pack_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pack_check.h"
#include "pack_test_util.h"
#include "packcomb.h"

namespace cobblepak {
namespace {

using test::Bytes;
using test::Entry;

// A pack of nEntries items of 1..256 bytes each with keys stepping by uKeyStep from uFirstKey.
Bytes s_MakeBigPack(std::size_t nEntries, std::uint32_t uFirstKey, std::uint32_t uKeyStep,
                    std::uint32_t uSeed)
{
    std::mt19937 rng(uSeed);
    Bytes vData;
    std::vector<PackIndexEntry> vIndex;
    for (std::size_t i = 0; i < nEntries; ++i) {
        const std::uint32_t uPos = 32 + static_cast<std::uint32_t>(vData.size());
        const std::size_t nLen = 1 + rng() % 256;
        for (std::size_t j = 0; j < nLen; ++j)
            vData.push_back(static_cast<std::uint8_t>(rng()));
        vIndex.push_back(Entry(uFirstKey + static_cast<std::uint32_t>(i) * uKeyStep, uPos,
                               static_cast<std::uint32_t>(nLen), rng()));
    }
    return test::MakePack(32, vData, vIndex);
}

bool s_StartsWith(const Bytes& vBytes, const Bytes& vPrefix)
{
    return vBytes.size() >= vPrefix.size() &&
           std::equal(vPrefix.begin(), vPrefix.end(), vBytes.begin());
}

std::size_t s_FileSize(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

std::string s_Soundness(const std::string& strPath)
{
    std::string strReason;
    return CheckPackFile(strPath.c_str(), strReason) ? "sound" : strReason;
}

class PackMergeCrashTest : public ::testing::Test {
protected:
    // Runs PackComb in a child; returns the child's wait status.
    int MergeInChild(const std::function<void()>& fnBefore)
    {
        pid_t pid = fork();
        if (pid == 0) {
            fnBefore();
            int nResult = PackComb(m_strDst.c_str(), m_strSrc.c_str());
            _exit(nResult == S_OK ? 0 : nResult == E_INVALIDARG ? 1 : 2);
        }
        int nStatus = 0;
        EXPECT_EQ(waitpid(pid, &nStatus, 0), pid);
        return nStatus;
    }

    test::KScratchDir m_dir;
    std::string m_strDst = m_dir.Path("dst.pak");
    std::string m_strSrc = m_dir.Path("src.pak");
};

TEST_F(PackMergeCrashTest, FullDiskLeavesTheOldPack)
{
    const Bytes vDst = s_MakeBigPack(300, 1, 2, 1);
    const Bytes vSrc = s_MakeBigPack(3000, 0, 3, 2);  // about 400 KiB of data
    test::WriteFileBytes(m_strSrc, vSrc);
    // The merged size, from an unlimited run.
    test::WriteFileBytes(m_strDst, vDst);
    ASSERT_EQ(PackComb(m_strDst.c_str(), m_strSrc.c_str()), S_OK);
    const Bytes vMerged = test::ReadFileBytes(m_strDst);
    const std::size_t nDataEnd = vDst.size() + (vSrc.size() - 32 - 3000 * 16);

    // The file-size limit makes the write that crosses it fail (SIGXFSZ ignored): inside the
    // data, at the data's end, inside the index, one byte before the end. Each failure must cut
    // the file back, so the failures in a row all start from, and leave, the old bytes.
    const std::size_t anLimits[] = {vDst.size(), vDst.size() + 1000, nDataEnd, nDataEnd + 5000,
                                    vMerged.size() - 1};
    test::WriteFileBytes(m_strDst, vDst);
    for (std::size_t nLimit : anLimits) {
        int nStatus = MergeInChild([nLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = nLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        ASSERT_TRUE(WIFEXITED(nStatus)) << "limit " << nLimit;
        EXPECT_EQ(WEXITSTATUS(nStatus), 1) << "limit " << nLimit << ": not E_INVALIDARG";
        EXPECT_TRUE(test::ReadFileBytes(m_strDst) == vDst) << "limit " << nLimit;
    }

    // A limit the merge just fits under is not a failure.
    test::WriteFileBytes(m_strDst, vDst);
    int nStatus = MergeInChild([&vMerged] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = vMerged.size();
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    EXPECT_EQ(test::ReadFileBytes(m_strDst), vMerged);
}

// The source is cut short while the merge copies its data: the merge fails and the destination
// is left byte for byte as it was. The merging child is stopped once the destination has begun
// to grow; the source is cut only while at least two chunks of its data remain to be read (the
// child may hold one chunk read but not yet written), else the run merges and is repeated.
TEST_F(PackMergeCrashTest, SourceCutDuringTheCopyLeavesTheOldPack)
{
    const std::size_t nChunk = 0x100000;
    const Bytes vDst = s_MakeBigPack(300, 1, 2, 1);
    const Bytes vSrc = test::MakePack(32, Bytes(24 * nChunk, 0x5A), {Entry(7, 32), Entry(2, 99)});
    const std::size_t nDataEnd = vDst.size() + 24 * nChunk;
    int nCutRuns = 0;
    for (int nRun = 0; nRun < 10 && nCutRuns < 2; ++nRun) {
        test::WriteFileBytes(m_strDst, vDst);
        test::WriteFileBytes(m_strSrc, vSrc);
        pid_t pid = fork();
        if (pid == 0) {
            int nResult = PackComb(m_strDst.c_str(), m_strSrc.c_str());
            _exit(nResult == S_OK ? 0 : nResult == E_INVALIDARG ? 1 : 2);
        }
        int nStatus = 0;
        while (s_FileSize(m_strDst) <= vDst.size() && waitpid(pid, &nStatus, WNOHANG) == 0) {
        }
        kill(pid, SIGSTOP);
        ASSERT_EQ(waitpid(pid, &nStatus, WUNTRACED), pid);
        const bool bCut = WIFSTOPPED(nStatus) && s_FileSize(m_strDst) + 2 * nChunk < nDataEnd;
        if (bCut) {
            ASSERT_EQ(truncate(m_strSrc.c_str(), 32), 0);
            ++nCutRuns;
        }
        if (WIFSTOPPED(nStatus)) {
            kill(pid, SIGCONT);
            ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
        }
        ASSERT_TRUE(WIFEXITED(nStatus)) << "run " << nRun;
        if (bCut) {
            EXPECT_EQ(WEXITSTATUS(nStatus), 1) << "run " << nRun << ": not E_INVALIDARG";
            EXPECT_TRUE(test::ReadFileBytes(m_strDst) == vDst) << "run " << nRun;
        } else {
            EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "run " << nRun;
        }
    }
    EXPECT_EQ(nCutRuns, 2) << "the source was never cut during the copy";
}

// Kills merges at random moments; every time the destination must read either as the old pack
// (perhaps with unreferenced bytes after its end) or as exactly the merged pack.
TEST_F(PackMergeCrashTest, KilledMergeLeavesOldOrNewPack)
{
    const Bytes vDst = s_MakeBigPack(20000, 1, 2, 3);
    const Bytes vSrc = s_MakeBigPack(20000, 0, 3, 4);  // about 2.5 MiB of data
    test::WriteFileBytes(m_strSrc, vSrc);
    test::WriteFileBytes(m_strDst, vDst);
    const auto tStart = std::chrono::steady_clock::now();
    ASSERT_EQ(WEXITSTATUS(MergeInChild([] {})), 0);
    const auto nMergeMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now() - tStart).count();
    const Bytes vMerged = test::ReadFileBytes(m_strDst);
    ASSERT_GT(vMerged.size(), vDst.size());

    std::mt19937 rng(5);
    std::uniform_int_distribution<long long> delay(0, nMergeMicros + nMergeMicros / 4);
    int nOld = 0;
    int nNew = 0;
    for (int nRun = 0; nRun < 100; ++nRun) {
        test::WriteFileBytes(m_strDst, vDst);
        pid_t pid = fork();
        if (pid == 0) {
            int nResult = PackComb(m_strDst.c_str(), m_strSrc.c_str());
            _exit(nResult == S_OK ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(pid, SIGKILL);
        int nStatus = 0;
        ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(nStatus) || (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0));

        const Bytes vAfter = test::ReadFileBytes(m_strDst);
        if (vAfter == vMerged)
            ++nNew;
        else if (s_StartsWith(vAfter, vDst))
            ++nOld;
        else
            FAIL() << "run " << nRun << ": neither the old nor the merged pack";
        ASSERT_EQ(s_Soundness(m_strDst), "sound") << "run " << nRun;
    }
    // Both outcomes must occur, or the kills did not land inside merges.
    EXPECT_GT(nOld, 0);
    EXPECT_GT(nNew, 0);
    std::printf("killed merges: %d left the old pack, %d the merged one (merge %lld us)\n", nOld,
                nNew, static_cast<long long>(nMergeMicros));
}

}  // namespace
}  // namespace cobblepak

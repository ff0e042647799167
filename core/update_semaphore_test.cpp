#include "core/update_semaphore.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>

#include "core/update_installer.h"
#include "tests/test_support.h"

using mwtest::Ansi;

namespace {

// MD5 text of the bytes of strText, computed through CNG (the engine goes through the older
// CryptoAPI), lower-case hex.
std::string Md5Text(const std::string& strText) {
    BCRYPT_ALG_HANDLE hAlg = nullptr;
    UCHAR digest[16] = {};
    std::string strHex;
    if (BCryptOpenAlgorithmProvider(&hAlg, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0)
        return strHex;
    BCRYPT_HASH_HANDLE hHash = nullptr;
    if (BCryptCreateHash(hAlg, &hHash, nullptr, 0, nullptr, 0, 0) == 0) {
        BCryptHashData(hHash, reinterpret_cast<PUCHAR>(const_cast<char*>(strText.data())),
                       static_cast<ULONG>(strText.size()), 0);
        if (BCryptFinishHash(hHash, digest, sizeof(digest), 0) == 0) {
            for (UCHAR byte : digest) {
                char szHex[3];
                snprintf(szHex, sizeof(szHex), "%02x", byte);
                strHex += szHex;
            }
        }
        BCryptDestroyHash(hHash);
    }
    BCryptCloseAlgorithmProvider(hAlg, 0);
    return strHex;
}

// Another process holding "Global\<name>" until Stop (or destruction).
class KHeldSemaphore : public mwtest::KHelperProcess {
public:
    explicit KHeldSemaphore(const std::string& strName) : KHelperProcess("hold.exe", "semaphore " + strName) {}
};

// A game folder of this test run alone, so that names never meet those of another run.
class UpdateSemaphoreTest : public ::testing::Test {
protected:
    mwtest::KTempDir m_Dir;
    std::string m_strGame = m_Dir / "Tarnwick";
};

}  // namespace

TEST(Md5Reference, MatchesKnownDigests) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Text(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Text("abc"));
}

TEST(MakeSemaphoreName, DigestIsOfTheFolderThatHoldsThePath) {
    EXPECT_EQ("UPDATE" + Md5Text("C:\\Program Files"), MakeSemaphoreName("UPDATE", "C:\\Program Files\\Tarnwick"));
    EXPECT_EQ("CLIENT" + Md5Text("C:\\Program Files"), MakeSemaphoreName("CLIENT", "C:\\Program Files\\Tarnwick"));
    // A trailing backslash loses only itself.
    EXPECT_EQ("UPDATE" + Md5Text("C:\\Program Files\\Tarnwick"),
              MakeSemaphoreName("UPDATE", "C:\\Program Files\\Tarnwick\\"));
    EXPECT_EQ("UPDATE" + Md5Text(""), MakeSemaphoreName("UPDATE", ""));
    EXPECT_EQ("UPDATE" + Md5Text("C:\\"), MakeSemaphoreName("UPDATE", "C:\\"));
    EXPECT_EQ("UPDATE" + Md5Text("C:\\"), MakeSemaphoreName("UPDATE", "C:\\Tarnwick"));
}

TEST(MakeSemaphoreName, NullPathNamesTheProgramsFolder) {
    EXPECT_EQ("UPDATE" + Md5Text(mwtest::ProgramFolder()), MakeSemaphoreName("UPDATE", nullptr));
}

TEST(MakeSemaphoreName, PathsAreHashedAsTheirBytesInTheSystemCodePage) {
    EXPECT_EQ("UPDATE" + Md5Text(Ansi("D:\\网络游戏")), MakeSemaphoreName("UPDATE", "D:\\网络游戏\\塔恩维克"));
    // U+4E57 is 0x81 0x5C in GBK, one character whose trail byte is a backslash: not a separator.
    EXPECT_EQ("UPDATE" + Md5Text("C:\\Games"), MakeSemaphoreName("UPDATE", "C:\\Games\\x乗"));
    // A character the system's code page lacks counts as its default character, as the game's
    // ANSI programs see their folder.
    EXPECT_EQ("UPDATE" + Md5Text(Ansi("D:\\Spiele ö 游戏")), MakeSemaphoreName("UPDATE", "D:\\Spiele ö 游戏\\x"));
}

TEST(MakeSemaphoreName, LongPrefixAndPathStayWithinTheirBuffers) {
    std::string strPrefix(200, 'P');
    std::string strName = MakeSemaphoreName(strPrefix.c_str(), "C:\\Program Files\\Tarnwick");
    EXPECT_EQ(std::string(63, 'P') + Md5Text("C:\\Program Files"), strName);
    EXPECT_LT(strName.size(), 128u);

    // A path beyond 259 bytes is cut to 259 before its last component is removed.
    std::string strPath = "C:\\" + std::string(300, 'a');
    EXPECT_EQ("UPDATE" + Md5Text("C:\\"), MakeSemaphoreName("UPDATE", strPath.c_str()));
    std::string strDeep = "C:\\" + std::string(250, 'a') + "\\" + std::string(20, 'b');
    EXPECT_EQ("UPDATE" + Md5Text(strDeep.substr(0, 253)), MakeSemaphoreName("UPDATE", strDeep.c_str()));
}

TEST_F(UpdateSemaphoreTest, IsSemaphoreExistSeesOnlyExistingSemaphores) {
    std::string strName = MakeSemaphoreName("UPDATE", m_strGame.c_str());
    EXPECT_EQ(0, IsSemaphoreExist(strName.c_str()));
    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 1, 1, ("Global\\" + strName).c_str());
    ASSERT_NE(nullptr, hSemaphore);
    EXPECT_EQ(1, IsSemaphoreExist(strName.c_str()));
    // The probe closes what it opened: the semaphore goes with the last handle.
    CloseHandle(hSemaphore);
    EXPECT_EQ(0, IsSemaphoreExist(strName.c_str()));
    // A name too long to form is absent, not a cut name that might exist.
    EXPECT_EQ(0, IsSemaphoreExist(std::string(300, 'n').c_str()));
}

TEST_F(UpdateSemaphoreTest, IsGameRunningWhileAnotherProcessHoldsEitherName) {
    KUpdateInstaller installer;
    installer.m_strGamePath = m_strGame;
    EXPECT_EQ(0, installer.IsGameRunning());
    for (const char* pszPrefix : {"CLIENT", "UPDATE"}) {
        KHeldSemaphore held(MakeSemaphoreName(pszPrefix, m_strGame.c_str()));
        ASSERT_TRUE(held.Held()) << pszPrefix;
        EXPECT_EQ(1, installer.IsGameRunning()) << pszPrefix;
        EXPECT_TRUE(held.Stop());
        EXPECT_EQ(0, installer.IsGameRunning()) << pszPrefix;
    }
    // Names of another folder do not count.
    KHeldSemaphore other(MakeSemaphoreName("CLIENT", (m_Dir / "Other\\Tarnwick").c_str()));
    ASSERT_TRUE(other.Held());
    EXPECT_EQ(0, installer.IsGameRunning());
}

TEST_F(UpdateSemaphoreTest, AcquireHoldsUntilRelease) {
    KUpdateSemaphore semaphore;
    snprintf(semaphore.m_szName, sizeof(semaphore.m_szName), "%s", MakeSemaphoreName("UPDATE", m_strGame.c_str()));
    ASSERT_EQ(1, semaphore.Acquire(0));
    void* hHeld = semaphore.m_hSemaphore;
    ASSERT_NE(nullptr, hHeld);
    EXPECT_EQ(0, semaphore.Acquire(0));
    EXPECT_EQ(hHeld, semaphore.m_hSemaphore);

    // A second installer for the same folder sees the installation in progress.
    KUpdateInstaller other;
    other.m_strGamePath = m_strGame;
    EXPECT_EQ(1, other.IsGameRunning());
    KUpdateSemaphore second;
    memcpy(second.m_szName, semaphore.m_szName, sizeof(second.m_szName));
    EXPECT_EQ(0, second.Acquire(0));
    EXPECT_EQ(nullptr, second.m_hSemaphore);

    semaphore.Release();
    EXPECT_EQ(nullptr, semaphore.m_hSemaphore);
    EXPECT_EQ(0, other.IsGameRunning());
    semaphore.Release();
    EXPECT_EQ(1, semaphore.Acquire(0));
}

TEST_F(UpdateSemaphoreTest, AcquireWhileAnotherProcessHoldsTheName) {
    KUpdateSemaphore semaphore;
    snprintf(semaphore.m_szName, sizeof(semaphore.m_szName), "%s", MakeSemaphoreName("UPDATE", m_strGame.c_str()));
    KHeldSemaphore held(semaphore.m_szName);
    ASSERT_TRUE(held.Held());
    EXPECT_EQ(0, semaphore.Acquire(0));
    EXPECT_EQ(nullptr, semaphore.m_hSemaphore);

    EXPECT_EQ(1, semaphore.Acquire(1));
    EXPECT_NE(nullptr, semaphore.m_hSemaphore);
    // The kept handle keeps the semaphore alive after its creator ends.
    EXPECT_TRUE(held.Stop());
    EXPECT_EQ(1, IsSemaphoreExist(semaphore.m_szName));
    semaphore.Release();
    EXPECT_EQ(0, IsSemaphoreExist(semaphore.m_szName));
}

TEST(KUpdateSemaphore, NameWithoutTerminatorIsRefused) {
    KUpdateSemaphore semaphore;
    memset(semaphore.m_szName, 'x', sizeof(semaphore.m_szName));
    EXPECT_EQ(0, semaphore.Acquire(0));
    EXPECT_EQ(nullptr, semaphore.m_hSemaphore);
}

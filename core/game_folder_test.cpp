// The game folder search runs against the real registry and the real default folders of the test
// prefix; every test puts back what it changed.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "core/folder_exists.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/update_semaphore.h"
#include "core/win_text.h"
#include "tests/recording_output.h"
#include "tests/test_support.h"

using mwtest::FileExists;
using mwtest::WriteFileBytes;

namespace {

const char* const s_pszAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\velmora.exe";

// Runs a program of the Linux side (Wine starts ELF programs too) and returns at once: Wine
// gives no handle that waits for such a process, so callers poll for its effect.
bool s_StartUnixProgram(std::string strCommand) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool s_WaitForFolder(const char* pszPath, bool bPresent) {
    for (int i = 0; i < 100; ++i) {
        if ((FolderExists(pszPath) != 0) == bPresent)
            return true;
        Sleep(50);
    }
    return false;
}

// The folder where 64-bit Windows puts 32-bit programs, as this process sees it; "" where there is
// no such folder apart from the one program folder (32-bit Windows).
std::string s_ProgramFilesX86() {
    wchar_t wszX86[MAX_PATH] = {0};
    wchar_t wszPlain[MAX_PATH] = {0};
    if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, wszX86) != S_OK ||
        SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, wszPlain) != S_OK)
        return std::string();
    std::string strX86 = WideToUtf8(wszX86);
    return _stricmp(strX86.c_str(), "C:\\Program Files") == 0 ? std::string() : strX86;
}

extern "C" LONG NTAPI NtDeleteKey(HANDLE hKey);

// On 64-bit Windows the App Paths keys of the two registry views are apart; Wine links the 32-bit
// view's key to the 64-bit one. Separate() puts a key of its own in the link's place for the test's
// time; the destructor takes it away and puts the link back.
class KSeparateAppPathsViews {
public:
    // True when the two views now hold keys of their own; false where there is one view only.
    bool Separate() {
        HKEY hLink = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_pwszLink, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | DELETE | KEY_WOW64_64KEY,
                          &hLink) != ERROR_SUCCESS)
            return false;
        DWORD dwType = REG_NONE;
        wchar_t wszTarget[512] = {0};
        DWORD dwSize = sizeof(wszTarget) - sizeof(wchar_t);
        bool bLink = RegQueryValueExW(hLink, L"SymbolicLinkValue", nullptr, &dwType, reinterpret_cast<BYTE*>(wszTarget), &dwSize) ==
                         ERROR_SUCCESS &&
                     dwType == REG_LINK;
        if (bLink && NtDeleteKey(hLink) == 0) {
            m_wstrTarget.assign(wszTarget, dwSize / sizeof(wchar_t));
            m_bUnlinked = true;
        }
        RegCloseKey(hLink);
        if (!bLink)
            return true;  // apart already, as on Windows
        HKEY hKey = nullptr;
        if (!m_bUnlinked || RegCreateKeyExW(HKEY_LOCAL_MACHINE, s_pwszLink, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                            &hKey, nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(hKey);
        return true;
    }
    ~KSeparateAppPathsViews() {
        if (!m_bUnlinked)
            return;
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, s_pwszLink);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, s_pwszLink, KEY_WOW64_64KEY, 0);
        HKEY hLink = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, s_pwszLink, 0, nullptr, REG_OPTION_CREATE_LINK,
                                                 KEY_ALL_ACCESS | KEY_CREATE_LINK | KEY_WOW64_64KEY, nullptr, &hLink, nullptr));
        if (hLink) {
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hLink, L"SymbolicLinkValue", 0, REG_LINK,
                                                    reinterpret_cast<const BYTE*>(m_wstrTarget.data()),
                                                    static_cast<DWORD>(m_wstrTarget.size() * sizeof(wchar_t))));
            RegCloseKey(hLink);
        }
    }

private:
    static constexpr const wchar_t* s_pwszLink = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    bool m_bUnlinked = false;
    std::wstring m_wstrTarget;
};

// The App Paths key's access list set to reading only for everyone (and to changing the list
// itself, so that it can be put back); put back when the object goes away.
class KReadOnlyKey {
public:
    bool Apply() {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_pszAppPathsKey, 0, READ_CONTROL | WRITE_DAC, &m_hKey) != ERROR_SUCCESS)
            return false;
        DWORD dwSize = 0;
        RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, nullptr, &dwSize);
        m_Saved.resize(dwSize);
        if (!dwSize || RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_Saved.data(), &dwSize) != ERROR_SUCCESS)
            return false;
        PSECURITY_DESCRIPTOR pDescriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)(A;;RCWD;;;WD)", SDDL_REVISION_1, &pDescriptor,
                                                                  nullptr))
            return false;
        m_bApplied = RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, pDescriptor) == ERROR_SUCCESS;
        LocalFree(pDescriptor);
        return m_bApplied;
    }
    ~KReadOnlyKey() {
        if (m_bApplied)
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_Saved.data()));
        if (m_hKey)
            RegCloseKey(m_hKey);
    }

private:
    HKEY m_hKey = nullptr;
    std::vector<BYTE> m_Saved;
    bool m_bApplied = false;
};

class GameFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveRegistryPath();
        ASSERT_TRUE(WriteFileBytes(m_strUpdateFile, "<Root/>"));
    }

    void TearDown() override {
        for (int i = 0; i < 3; ++i) {
            if (m_bDefaultCreated[i])
                EXPECT_TRUE(mwtest::RemoveTree(Default(i))) << Default(i);
        }
        if (m_bMappedD) {
            s_StartUnixProgram("Z:\\bin\\rm \"" + m_strDriveLink + "\"");
            EXPECT_TRUE(s_WaitForFolder("D:\\", false));
        }
        EXPECT_TRUE(m_AppPaths.Restore());
        for (const std::string& strIni : m_HandoffFiles)
            DeleteFileA(strIni.c_str());
    }

    static const char* Default(int i) { return GetString(IDS_DEFAULT_FOLDER_1 + i); }

    void SetRegistryPath(const std::string& strValue, DWORD dwType = REG_SZ) {
        ASSERT_EQ(ERROR_SUCCESS, m_AppPaths.Set(strValue, dwType));
    }
    void SetRegistryFolder(const std::string& strFolder) { ASSERT_EQ(ERROR_SUCCESS, m_AppPaths.SetText(strFolder)); }
    void RemoveRegistryPath() { m_AppPaths.Remove(); }

    // Makes default folder i exist; false when it cannot (then the test skips).
    bool MakeDefault(int i) {
        if (FolderExists(Default(i)))
            return true;
        if (i == 1 && !MapDriveD())
            return false;
        m_bDefaultCreated[i] = mwtest::MakeFolders(Default(i));
        return m_bDefaultCreated[i];
    }
    // True when default folder i is absent and this test may rely on that.
    bool DefaultAbsent(int i) const { return !FolderExists(Default(i)); }

    // The test prefix may have no drive D:. It is mapped to a temporary folder through a link in
    // the prefix's dosdevices folder, the same link that winecfg makes.
    bool MapDriveD() {
        if (FolderExists("D:\\"))
            return true;
        std::string strDosC = mwtest::UnixPath("C:\\");
        std::string strTarget = mwtest::UnixPath(m_DriveD.Path());
        const std::string strSuffix = "/c:/";
        if (strDosC.size() < strSuffix.size() || strDosC.compare(strDosC.size() - strSuffix.size(), strSuffix.size(), strSuffix) != 0 ||
            strTarget.empty())
            return false;
        m_strDriveLink = strDosC.substr(0, strDosC.size() - 3) + "d:";
        if (!s_StartUnixProgram("Z:\\bin\\ln -s \"" + strTarget + "\" \"" + m_strDriveLink + "\""))
            return false;
        m_bMappedD = s_WaitForFolder("D:\\", true);
        return m_bMappedD;
    }

    // Writes the handoff file of package strName: %TEMP%\<strName>.ini.
    void WriteHandoff(const std::string& strName, const std::string& strText) {
        char szTemp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof(szTemp), szTemp));
        std::string strIni = std::string(szTemp) + strName + ".ini";
        m_HandoffFiles.push_back(strIni);
        ASSERT_TRUE(WriteFileBytes(strIni, strText));
    }

    int Init() { return m_Installer.Init(m_strUpdateFile.c_str(), &m_Output); }
    std::vector<std::string> Lines(int nId) const { return {GetString(nId)}; }

    mwtest::KTempDir m_Dir;
    mwtest::KTempDir m_DriveD;
    std::string m_strUpdateFile = m_Dir / "Update.dat";
    std::string m_strGame = m_Dir / "game";
    mwtest::KRecordingOutput m_Output;
    KUpdateInstaller m_Installer;

    mwtest::KSavedRegistryValue m_AppPaths{s_pszAppPathsKey, "Path"};
    bool m_bDefaultCreated[3] = {};
    bool m_bMappedD = false;
    std::string m_strDriveLink;
    std::vector<std::string> m_HandoffFiles;
};

}  // namespace

TEST_F(GameFolderTest, RegistryFolderThatExistsWinsOverDefaults) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    if (!MakeDefault(2))
        GTEST_SKIP() << "cannot create " << Default(2);
    SetRegistryFolder(m_strGame);
    EXPECT_EQ(1, Init());
    EXPECT_EQ(m_strGame, m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), m_Output.m_Lines);
    EXPECT_EQ(0, m_Installer.IsPathFromIni());
    EXPECT_TRUE(FolderExists((m_strGame + "\\resource").c_str()));
    EXPECT_STREQ((m_strGame + "\\resource\\resinstall.ini").c_str(), m_Installer.m_ResourceList.m_szResInstallIni);
    if (m_bDefaultCreated[2])
        EXPECT_FALSE(FolderExists((std::string(Default(2)) + "\\resource").c_str()));
}

TEST_F(GameFolderTest, RegistryFolderOfTheOtherViewIsFound) {
    // On 64-bit Windows the 32-bit installer reads the 32-bit view of the registry, while the
    // game's own installer may have registered it in the 64-bit one (and the other way round).
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    mwtest::KSavedRegistryValue other(s_pszAppPathsKey, "Path", mwtest::KRegistryRoot::LocalMachineOtherView);
    ASSERT_EQ(ERROR_SUCCESS, other.SetText(m_strGame));
    EXPECT_EQ(1, Init());
    EXPECT_EQ(m_strGame, m_Installer.m_strGamePath);
}

TEST_F(GameFolderTest, AValueWhoseFolderCannotHoldTheGameDoesNotHideTheOtherView) {
    // A game moved or reinstalled can leave its old entry in one view; the entry whose folder can
    // hold the game wins, in whichever view. When neither can, the own view's value is kept.
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    KSeparateAppPathsViews views;
    if (!views.Separate())
        GTEST_SKIP() << "one registry view only (32-bit Windows)";
    mwtest::KSavedRegistryValue other(s_pszAppPathsKey, "Path", mwtest::KRegistryRoot::LocalMachineOtherView);
    const std::string strGone = m_Dir / "gone";
    struct {
        std::string strOwn, strOther, strFound;
        int nLine;
    } cases[] = {
        {strGone, m_strGame, m_strGame, IDS_GAME_PATH_FOUND},
        {m_strGame, strGone, m_strGame, IDS_GAME_PATH_FOUND},
        {strGone, m_Dir / "gone too", strGone, IDS_GAME_PATH_WRONG},
    };
    for (const auto& c : cases) {
        SetRegistryFolder(c.strOwn);
        ASSERT_EQ(ERROR_SUCCESS, other.SetText(c.strOther));
        KUpdateInstaller installer;
        mwtest::KRecordingOutput output;
        installer.Init(m_strUpdateFile.c_str(), &output);
        EXPECT_EQ(c.strFound, installer.m_strGamePath) << c.strOwn << " | " << c.strOther;
        EXPECT_EQ(Lines(c.nLine), output.m_Lines) << c.strOwn << " | " << c.strOther;
    }
}

TEST_F(GameFolderTest, ExpandableValueIsExpandedAndAReadOnlyKeyIsRead) {
    // A value of type REG_EXPAND_SZ ("%ProgramFiles%\Tarnwick") names the folder it expands to; the
    // key is read with reading rights only, which a standard user has on HKEY_LOCAL_MACHINE.
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    ASSERT_TRUE(SetEnvironmentVariableA("MW_TEST_GAMES", m_Dir.Path().c_str()));
    SetRegistryPath("%MW_TEST_GAMES%\\game", REG_EXPAND_SZ);
    KReadOnlyKey readOnly;
    ASSERT_TRUE(readOnly.Apply());
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_pszAppPathsKey, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS) {
        RegCloseKey(hKey);
        GTEST_SKIP() << "this Wine grants full access to a key whose list allows reading only";
    }
    EXPECT_EQ(1, Init());
    EXPECT_EQ(m_strGame, m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), m_Output.m_Lines);
}

TEST_F(GameFolderTest, DefaultsUnderTheProgramFolderOf32BitPrograms) {
    // On 64-bit Windows a 32-bit game's installer puts it under "C:\Program Files (x86)": after the
    // catalogue's folders, the same name there, then on D:.
    std::string strX86 = s_ProgramFilesX86();
    if (strX86.empty())
        GTEST_SKIP() << "no separate program folder for 32-bit programs (32-bit Windows)";
    for (int i = 0; i < 3; ++i) {
        if (!DefaultAbsent(i))
            GTEST_SKIP() << Default(i) << " exists in this prefix already";
    }
    const std::string strOnC = strX86 + "\\Tarnwick";
    std::string strOnD = strOnC;
    strOnD[0] = 'D';
    for (const std::string& strFolder : {strOnD, strOnC}) {
        if (FolderExists(strFolder.c_str()))
            GTEST_SKIP() << strFolder << " exists in this prefix already";
    }
    if (!MapDriveD())
        GTEST_SKIP() << "drive D: cannot be mapped here";
    for (const std::string& strFolder : {strOnD, strOnC}) {
        ASSERT_TRUE(mwtest::MakeFolders(strFolder));
        KUpdateInstaller installer;
        mwtest::KRecordingOutput output;
        EXPECT_EQ(1, installer.Init(m_strUpdateFile.c_str(), &output));
        EXPECT_EQ(strFolder, installer.m_strGamePath);
        EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), output.m_Lines);
    }
    EXPECT_TRUE(mwtest::RemoveTree(strOnC));
    EXPECT_TRUE(mwtest::RemoveTree(strOnD));
}

TEST_F(GameFolderTest, RegistryFolderWithAChineseNameIsFoundOnAnyCodePage) {
    // The registry holds UTF-16: the name comes through whole whatever the system's code page
    // (under 1252 an ANSI read would give "??").
    std::string strGame = m_Dir / u8"塔恩维克 游戏";
    ASSERT_TRUE(mwtest::MakeFolders(strGame));
    SetRegistryFolder(strGame);
    EXPECT_EQ(1, Init());
    EXPECT_EQ(strGame, m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), m_Output.m_Lines);
    EXPECT_TRUE(FolderExists((strGame + "\\resource").c_str()));
}

TEST_F(GameFolderTest, RegistryFolderKeepsItsTrailingBackslashForTheSemaphoreNames) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    SetRegistryFolder(m_strGame + "\\");
    EXPECT_EQ(1, Init());
    EXPECT_EQ(m_strGame + "\\", m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), m_Output.m_Lines);
    EXPECT_TRUE(FolderExists((m_strGame + "\\resource").c_str()));

    // With the backslash kept, the digest is that of the game folder itself, as for a file in it.
    std::string strName = MakeSemaphoreName("UPDATE", m_Installer.m_strGamePath.c_str());
    EXPECT_EQ(MakeSemaphoreName("UPDATE", (m_strGame + "\\velmora.exe").c_str()), strName);
    EXPECT_NE(MakeSemaphoreName("UPDATE", m_strGame.c_str()), strName);
    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 1, 1, ("Global\\" + strName).c_str());
    ASSERT_NE(nullptr, hSemaphore);
    EXPECT_EQ(1, m_Installer.IsGameRunning());
    CloseHandle(hSemaphore);
    EXPECT_EQ(0, m_Installer.IsGameRunning());
}

TEST_F(GameFolderTest, MissingRegistryFolderIsKeptAndNothingIsCreatedForIt) {
    if (!MakeDefault(2))
        GTEST_SKIP() << "cannot create " << Default(2);
    std::string strMissing = m_Dir / "gone\\Tarnwick";
    SetRegistryFolder(strMissing);
    // The list of a folder that is not there does not load.
    EXPECT_EQ(0, Init());
    EXPECT_EQ(strMissing, m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), m_Output.m_Lines);
    EXPECT_FALSE(FolderExists((m_Dir / "gone").c_str()));
    EXPECT_STREQ("", m_Installer.m_ResourceList.m_szResourceIni);
}

TEST_F(GameFolderTest, RootsAndNetworkPathsCannotHoldTheGame) {
    bool bHadRootResource = FolderExists("C:\\resource") != 0;
    // The drive root exists, but installing there would scatter the package over the drive.
    for (const char* pszRoot : {"C:\\", "C:", "C:\\game\\..", "\\\\server\\share\\game"}) {
        KUpdateInstaller installer;
        mwtest::KRecordingOutput output;
        SetRegistryFolder(pszRoot);
        EXPECT_EQ(0, installer.Init(m_strUpdateFile.c_str(), &output)) << pszRoot;
        EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), output.m_Lines) << pszRoot;
        EXPECT_TRUE(installer.m_ResourceList.m_EntryList.empty());
    }
    if (!bHadRootResource)
        EXPECT_FALSE(FolderExists("C:\\resource"));
    EXPECT_FALSE(FolderExists("C:\\server"));
    EXPECT_FALSE(FolderExists("\\server"));
}

TEST_F(GameFolderTest, RegistryValueIsReadUpToItsFirstNulAndNeverBeyondItsSize) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    SetRegistryPath(m_strGame + std::string("\0junk", 5), REG_BINARY);
    EXPECT_EQ(1, Init());
    EXPECT_EQ(m_strGame, m_Installer.m_strGamePath);

    KUpdateInstaller unterminated;
    mwtest::KRecordingOutput output;
    SetRegistryPath(m_strGame, REG_BINARY);
    EXPECT_EQ(1, unterminated.Init(m_strUpdateFile.c_str(), &output));
    EXPECT_EQ(m_strGame, unterminated.m_strGamePath);
}

TEST_F(GameFolderTest, DefaultsAreTriedInOrder) {
    for (int i = 0; i < 3; ++i) {
        if (!DefaultAbsent(i))
            GTEST_SKIP() << Default(i) << " exists in this prefix already";
    }
    if (!MakeDefault(2) || !MakeDefault(1))
        GTEST_SKIP() << "cannot make the default folders (drive D: cannot be mapped here)";

    // The first one missing, the second present: the D: folder.
    EXPECT_EQ(1, Init());
    EXPECT_EQ(Default(1), m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_FOUND), m_Output.m_Lines);
    EXPECT_TRUE(FolderExists((std::string(Default(1)) + "\\resource").c_str()));

    ASSERT_TRUE(MakeDefault(0));
    KUpdateInstaller first;
    mwtest::KRecordingOutput output;
    EXPECT_EQ(1, first.Init(m_strUpdateFile.c_str(), &output));
    EXPECT_EQ(Default(0), first.m_strGamePath);
}

TEST_F(GameFolderTest, NothingFoundLeavesTheFolderEmpty) {
    for (int i = 0; i < 3; ++i) {
        if (!DefaultAbsent(i))
            GTEST_SKIP() << Default(i) << " exists in this prefix already";
    }
    // A key without the value yields nothing either.
    SetRegistryPath("x");
    RemoveRegistryPath();
    char szRootResource[MAX_PATH];
    GetFullPathNameA("\\resource", sizeof(szRootResource), szRootResource, nullptr);
    bool bRootResourceExisted = FolderExists(szRootResource) != 0;

    EXPECT_EQ(1, Init());
    EXPECT_EQ("", m_Installer.m_strGamePath);
    EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), m_Output.m_Lines);
    EXPECT_TRUE(m_Installer.m_ResourceList.m_EntryList.empty());
    EXPECT_STREQ("", m_Installer.m_ResourceList.m_szResourceIni);
    if (!bRootResourceExisted)
        EXPECT_FALSE(FolderExists(szRootResource));
}

TEST_F(GameFolderTest, HandoffFileComesBeforeTheRegistry) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    std::string strHandoffGame = m_Dir / "handoff";
    ASSERT_TRUE(mwtest::MakeFolders(strHandoffGame));
    SetRegistryFolder(m_strGame);
    std::string strName = "mwtest_handoff_" + std::to_string(GetCurrentProcessId());
    WriteHandoff(strName + "_empty", "[Tarnwick]\r\nOther=x\r\n");
    WriteHandoff(strName, "[Tarnwick]\r\nGamePath=" + strHandoffGame + "\r\n");
    KResourceEntry entry = {};
    snprintf(entry.szName, sizeof(entry.szName), "%s_empty", strName.c_str());
    m_Installer.m_HandoffList.push_back(entry);
    snprintf(entry.szName, sizeof(entry.szName), "%s", strName.c_str());
    m_Installer.m_HandoffList.push_back(entry);

    EXPECT_EQ(1, Init());
    EXPECT_EQ(strHandoffGame, m_Installer.m_strGamePath);
    EXPECT_EQ(1, m_Installer.IsPathFromIni());
    // Only the file with the value was read as a handoff file.
    EXPECT_EQ(std::vector<std::string>{m_HandoffFiles.back()}, m_Installer.m_HandoffFilesRead);

    // A handoff file without the value: the registry decides.
    KUpdateInstaller registry;
    mwtest::KRecordingOutput output;
    registry.m_HandoffList.push_back(m_Installer.m_HandoffList.front());
    EXPECT_EQ(1, registry.Init(m_strUpdateFile.c_str(), &output));
    EXPECT_EQ(m_strGame, registry.m_strGamePath);
    EXPECT_EQ(0, registry.IsPathFromIni());
    EXPECT_TRUE(registry.m_HandoffFilesRead.empty());
}

TEST_F(GameFolderTest, HandoffFileIsReadOnlyUnderItsOwnName) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    SetRegistryFolder(m_strGame);
    std::string strName = "mwtest_handoff_" + std::to_string(GetCurrentProcessId()) + "_long_name";
    WriteHandoff(strName, "[Tarnwick]\r\nGamePath=" + m_Dir.Path() + "\r\n");
    char szShort[MAX_PATH] = {0};
    DWORD dwShort = GetShortPathNameA(m_HandoffFiles.back().c_str(), szShort, sizeof(szShort));
    std::string strShort = dwShort ? std::string(szShort).substr(std::string(szShort).rfind('\\') + 1) : std::string();
    if (strShort.size() < 5 || strShort == strName + ".ini")
        GTEST_SKIP() << "no short name for " << m_HandoffFiles.back();
    // The short alias, and a name that differs only in case, as package names.
    KResourceEntry entry = {};
    snprintf(entry.szName, sizeof(entry.szName), "%s", strShort.substr(0, strShort.size() - 4).c_str());
    m_Installer.m_HandoffList.push_back(entry);
    EXPECT_EQ(1, Init());
    EXPECT_EQ(0, m_Installer.IsPathFromIni());
    EXPECT_EQ(m_strGame, m_Installer.m_strGamePath);
    EXPECT_TRUE(m_Installer.m_HandoffFilesRead.empty());

    KUpdateInstaller upper;
    mwtest::KRecordingOutput output;
    std::string strUpper = strName;
    for (char& c : strUpper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    snprintf(entry.szName, sizeof(entry.szName), "%s", strUpper.c_str());
    upper.m_HandoffList.push_back(entry);
    EXPECT_EQ(1, upper.Init(m_strUpdateFile.c_str(), &output));
    EXPECT_EQ(1, upper.IsPathFromIni());
    EXPECT_EQ(1u, upper.m_HandoffFilesRead.size());
}

TEST_F(GameFolderTest, ResourceListComesFromTheFolderGiven) {
    std::string strChosen = m_Dir / "chosen";
    m_Installer.m_strGamePath = m_strGame;
    EXPECT_EQ(0, m_Installer.LoadResourceList(nullptr));
    EXPECT_EQ(0, m_Installer.LoadResourceList(""));
    // Neither folder exists: nothing is created, not even for the start-up folder.
    EXPECT_EQ(0, m_Installer.LoadResourceList(strChosen.c_str()));
    EXPECT_FALSE(FolderExists(strChosen.c_str()));
    EXPECT_FALSE(FolderExists(m_strGame.c_str()));

    ASSERT_TRUE(mwtest::MakeFolders(m_strGame + "\\resource"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\resource\\resource.ini", "[base]\r\n"));
    ASSERT_TRUE(mwtest::MakeFolders(strChosen));
    EXPECT_EQ(1, m_Installer.LoadResourceList(strChosen.c_str()));
    EXPECT_TRUE(FolderExists((strChosen + "\\resource").c_str()));
    EXPECT_STREQ((strChosen + "\\resource\\resource.ini").c_str(), m_Installer.m_ResourceList.m_szResourceIni);
    EXPECT_EQ(-1, m_Installer.m_ResourceList.GetInstallState("base"));
    EXPECT_EQ(1, m_Installer.LoadResourceList(m_strGame.c_str()));
    EXPECT_EQ(0, m_Installer.m_ResourceList.GetInstallState("base"));
}

TEST_F(GameFolderTest, CheckResourcesLoadsTheListOrRefusesWithAMessage) {
    m_Installer.m_pMsgOutput = &m_Output;
    m_Installer.m_strGamePath = m_strGame;
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame + "\\resource"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\resource\\resource.ini", "[base]\r\n[maps]\r\n"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\resource\\resinstall.ini", "[maps]\r\ninstall=2\r\n"));
    // A handed-off package not installed yet raises no question.
    KResourceEntry handoff = {};
    snprintf(handoff.szName, sizeof(handoff.szName), "maps");
    m_Installer.m_HandoffList.push_back(handoff);
    EXPECT_EQ(0, m_Installer.CheckResources(m_strGame.c_str()));
    EXPECT_EQ(2, m_Installer.m_ResourceList.GetInstallState("maps"));
    EXPECT_TRUE(m_Output.m_Lines.empty());

    EXPECT_EQ(1, m_Installer.CheckResources(nullptr));
    EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), m_Output.m_Lines);

    // A folder too long for the list's paths: refused, nothing created or kept.
    // The folder and its resource folder fit a path; resource\\resinstall.ini does not.
    std::string strLong = m_Dir / std::string(245 - m_Dir.Path().size() - 1, 'l');
    ASSERT_LT((strLong + "\\resource").size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(mwtest::MakeFolders(strLong));
    m_Output.m_Lines.clear();
    EXPECT_EQ(1, m_Installer.CheckResources(strLong.c_str()));
    EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), m_Output.m_Lines);
    EXPECT_TRUE(m_Installer.m_ResourceList.m_EntryList.empty());
    EXPECT_FALSE(FolderExists((strLong + "\\resource").c_str()));

    // A folder that does not exist, and a drive root, are refused the same way.
    for (const std::string& strBad : {m_Dir / "nowhere", std::string("C:\\")}) {
        m_Output.m_Lines.clear();
        EXPECT_EQ(1, m_Installer.CheckResources(strBad.c_str())) << strBad;
        EXPECT_EQ(Lines(IDS_GAME_PATH_WRONG), m_Output.m_Lines);
    }
    EXPECT_FALSE(FolderExists((m_Dir / "nowhere").c_str()));
}

TEST_F(GameFolderTest, CheckResourcesUsesTheListOfTheFolderInstalledInto) {
    // The start-up folder has the package installed; the folder installed into has not.
    std::string strOther = m_Dir / "other";
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame + "\\resource"));
    ASSERT_TRUE(mwtest::MakeFolders(strOther + "\\resource"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\resource\\resource.ini", "[BasePack]\r\n"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\resource\\resinstall.ini", "[BASEPACK]\r\ninstall=1\r\n"));
    ASSERT_TRUE(WriteFileBytes(strOther + "\\resource\\resource.ini", "[BasePack]\r\n"));
    m_Installer.m_pMsgOutput = &m_Output;
    m_Installer.m_strGamePath = m_strGame;
    ASSERT_EQ(1, m_Installer.LoadResourceList(m_strGame.c_str()));
    EXPECT_EQ(1, m_Installer.m_ResourceList.GetInstallState("basepack"));
    KResourceEntry handoff = {};
    snprintf(handoff.szName, sizeof(handoff.szName), "basepack");
    m_Installer.m_HandoffList.push_back(handoff);
    EXPECT_EQ(0, m_Installer.CheckResources(strOther.c_str()));
    EXPECT_EQ(0, m_Installer.m_ResourceList.GetInstallState("basepack"));
    EXPECT_TRUE(m_Output.m_Lines.empty());
}

TEST_F(GameFolderTest, CancelledChecksRefuseTheInstallation) {
    ASSERT_TRUE(mwtest::MakeFolders(m_strGame));
    m_Installer.m_pMsgOutput = &m_Output;
    m_Installer.CancelChecks();
    EXPECT_EQ(2, m_Installer.CheckResources(m_strGame.c_str()));
    EXPECT_TRUE(m_Output.m_Lines.empty());
}

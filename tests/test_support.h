// Shared helpers of the Windows-side tests: temporary folders, file bytes, text conversion, the
// engine log.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mwtest {

// A fresh folder under the temporary folder, removed with everything in it (read-only files
// too) when the object goes away.
class KTempDir {
public:
    KTempDir();
    ~KTempDir();
    KTempDir(const KTempDir&) = delete;
    KTempDir& operator=(const KTempDir&) = delete;
    // The folder, without a trailing backslash.
    const std::string& Path() const { return m_strPath; }
    // Path() + "\" + pszRelative.
    std::string operator/(const std::string& strRelative) const;

private:
    std::string m_strPath;
};

// Removes a folder tree (clearing read-only attributes first); true when it is gone.
bool RemoveTree(const std::string& strPath);
// Creates every folder along strPath.
bool MakeFolders(const std::string& strPath);
bool WriteFileBytes(const std::string& strPath, const std::string& strBytes);
// The bytes of a file, or "" with *pbOk false when it cannot be read.
std::string ReadFileBytes(const std::string& strPath, bool* pbOk = nullptr);
bool FileExists(const std::string& strPath);

// Ends the process (hProcess, its id dwPid) and then every process it started, found by their
// parent's id, deepest first, waiting for each. A child that a killed parent left half-started
// lives on under Wine and would hold the test run's output open.
void EndProcessTree(void* hProcess, unsigned long dwPid, unsigned uExitCode);

// Everything below strFolder, for whole-tree comparisons: each relative path mapped to "dir", or
// to "file", its read-only flag ("ro" / "rw") and its bytes.
std::map<std::string, std::string> TreeSnapshot(const std::string& strFolder);
// Copies everything below strFrom into strTo (made as needed); false when a copy fails.
bool CopyTree(const std::string& strFrom, const std::string& strTo);

// The bytes of a pack file: a 32-byte header, nEntries items of uItemSize bytes filled with
// chFill, and a sorted index with keys from uFirstKey in steps of 2. The header's first word
// and its last 16 bytes hold recognisable values.
std::string PackBytes(unsigned long uFirstKey, unsigned long nEntries, char chFill, unsigned long uItemSize = 8);
// The bytes of a pack holding each (key, item) of aItems (keys ascending), laid out as PackBytes
// lays them out; each entry's second word is its item's size.
std::string PackOf(const std::vector<std::pair<unsigned long, std::string>>& aItems);
// The items of a pack by key, for comparing two packs entry for entry: each entry's words and
// its bytes, an item running from its position to the next position in strLayout's index (or its
// index offset), strLayout being a compact pack with the same keys (the pack itself when empty).
// Empty when strPack is not a pack.
std::map<unsigned long, std::string> PackItems(const std::string& strPack, const std::string& strLayout = "");

// Paths and texts of the tests are UTF-8, as the program's own. For the bytes outside:
// Text written in UTF-8 in a test's source, as bytes of the system's ANSI code page (GBK under
// zh_CN, 1252 under en_US): what ANSI programs of the game read and write.
std::string Ansi(const std::string& strUtf8);
// The same text in GBK: Update.dat's declared encoding, redirected console output.
std::string Gbk(const std::string& strUtf8);
// UTF-16 LE bytes with byte-order mark for a UTF-8 text.
std::string Utf16WithBom(const std::string& strUtf8);

// Points the engine's log at a fresh file for the object's lifetime.
class KLogCapture {
public:
    KLogCapture();
    ~KLogCapture();
    // Every line logged so far, without line ends.
    std::vector<std::string> Lines() const;

private:
    KTempDir m_Dir;
    std::string m_strFile;
};

// The folder of the running test program (where every program of the build lies), without a
// trailing backslash.
std::string ProgramFolder();

// A helper program of tests/ (beside the running test program) that takes hold of something,
// writes "held" to its standard output and lets go when its standard input ends.
class KHelperProcess {
public:
    // Starts <test program folder>\<strExe> with strArguments (quoted by the caller as needed)
    // and waits for its "held".
    KHelperProcess(const std::string& strExe, const std::string& strArguments);
    ~KHelperProcess();
    KHelperProcess(const KHelperProcess&) = delete;
    KHelperProcess& operator=(const KHelperProcess&) = delete;
    bool Held() const { return m_bHeld; }
    // Ends the helper's input and waits for it (10 s, then terminates it). True when it ended by
    // itself with exit code 0.
    bool Stop();

private:
    void* m_hProcess = nullptr;
    void* m_hInputWrite = nullptr;
    bool m_bHeld = false;
};

// LocalMachineOtherView: HKEY_LOCAL_MACHINE as programs of the other bitness see it (on 64-bit
// Windows the 32-bit view, Wow6432Node, for a 64-bit program, and the 64-bit view for a 32-bit one).
enum class KRegistryRoot { LocalMachine, CurrentUser, LocalMachineOtherView };

// One value of a key under HKEY_LOCAL_MACHINE (or HKEY_CURRENT_USER), as it was when the object
// was made, put back when it goes away: its type and bytes, or no value, or no key at all (a key
// the test made is deleted).
class KSavedRegistryValue {
public:
    KSavedRegistryValue(const std::string& strKey, const std::string& strName,
                        KRegistryRoot eRoot = KRegistryRoot::LocalMachine);
    ~KSavedRegistryValue();
    KSavedRegistryValue(const KSavedRegistryValue&) = delete;
    KSavedRegistryValue& operator=(const KSavedRegistryValue&) = delete;
    // Makes the key as needed and sets the value to strBytes of type ulType, written by an ANSI
    // program (texts in the system's code page); the registry's result (ERROR_SUCCESS when set).
    long Set(const std::string& strBytes, unsigned long ulType);
    // Sets a REG_SZ value to the UTF-8 strText as the system stores it (UTF-16, terminated).
    long SetText(const std::string& strText);
    // Removes the value; the key stays.
    void Remove();
    // Puts the saved state back now (done once; the destructor does it otherwise). True when the
    // value or key is back as it was.
    bool Restore();

private:
    long SetBytes(const std::string& strBytes, unsigned long ulType, bool bWide);

    std::string m_strKey;
    std::string m_strName;
    KRegistryRoot m_eRoot;
    bool m_bKeyExisted = false;
    bool m_bValueExisted = false;
    unsigned long m_ulType = 0;
    std::string m_strSaved;
    bool m_bRestored = false;
};

// An environment variable of this process (and so of the programs it starts) set for the object's
// lifetime; the old value, or none, is put back when it goes away.
class KScopedEnvironment {
public:
    // Sets strName to strValue.
    KScopedEnvironment(const std::string& strName, const std::string& strValue);
    ~KScopedEnvironment();
    KScopedEnvironment(const KScopedEnvironment&) = delete;
    KScopedEnvironment& operator=(const KScopedEnvironment&) = delete;
    // The value before the object set it ("" when there was none).
    const std::string& OldValue() const { return m_strOld; }

private:
    std::string m_strName;
    std::string m_strOld;
    bool m_bHadValue = false;
};

// Copies of planted.dll (beside the test program) under the names of libraries that a download
// folder may hold beside a program. A copy that is loaded appends the loading program's path to
// "<copy>.loaded" beside itself. While the object lives, Wine programs load those names
// native-first, searching the program's folder before the system's own libraries, as Windows does
// for every name outside its known-library list. (Set in the prefix's registry, the overrides that
// WINEDLLOVERRIDES would give: Wine takes that variable from the Linux environment, so a value set
// here would not reach the programs this process starts.) A program that calls into a planted
// copy crashes; meanwhile it ends at once instead of waiting in the crash debugger, which would
// also keep the test's output open.
class KPlantedLibraries {
public:
    KPlantedLibraries();
    KPlantedLibraries(const KPlantedLibraries&) = delete;
    KPlantedLibraries& operator=(const KPlantedLibraries&) = delete;
    // The common names, such as "version.dll".
    static const std::vector<std::string>& CommonNames();
    // Plants every one of CommonNames() in strFolder; false when a copy fails.
    bool PlantAll(const std::string& strFolder);
    // Plants one copy as strFolder\strName; false when the copy fails.
    bool Plant(const std::string& strFolder, const std::string& strName);
    // One line "<copy>: <program>" for each load of a planted copy so far; empty when none.
    std::vector<std::string> Loads() const;

private:
    std::vector<std::string> m_Planted;
    std::vector<std::unique_ptr<KSavedRegistryValue>> m_Overrides;
    KSavedRegistryValue m_Debugger;
};

// A file of the source tree (strRelative with "/" separators) as a Windows path (drive Z: maps
// the Linux root under Wine).
std::string SourcePath(const std::string& strRelative);

// A folder link at strLink to strTarget: under Wine a Unix symbolic link made by a Unix program
// (Wine shows it as a folder with the reparse bit); on Windows a junction. False when none came.
bool MakeFolderLink(const std::string& strLink, const std::string& strTarget);

// The Linux path of a Windows path, through Wine's own export; "" when not under Wine.
std::string UnixPath(const std::string& strPath);

}  // namespace mwtest

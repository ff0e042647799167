// Copying one package file into the game folder, with the folders it needs.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "install/package_rules.h"

class IKMsgOutput;
class IKShellCtrl;

// How a copied file reaches its destination. The bytes are first written to TempPath(); Place
// then puts that file where strDestFile names. The install transaction gives one that sets aside
// what it replaces and lets the bytes be written at the destination itself (its journal undoes a
// half-written file); without one the temporary file lies beside the destination and replaces it.
class IKFilePlacement {
public:
    // Where the bytes are written: strDestFile itself or another name. "" with the cause in
    // GetLastError when the destination cannot be made ready.
    virtual std::string TempPath(const std::string& strDestFile) = 0;
    // 1 when strTemp now stands at strDestFile; 0 with the cause in GetLastError.
    virtual int Place(const std::string& strTemp, const std::string& strDestFile) = 0;

protected:
    ~IKFilePlacement() = default;
};

// Copies package folder + "\" + pszFilePath + pszFileName to the destination folder (game folder +
// "\" + pszFilePath, without pszFilePath when that is a lone "\" or "/") + pszFileName, creating
// missing destination folders and replacing an existing destination even when it is read-only.
// Reports on pShellCtrl: the line 2015 with the file name, the destination folder as a line of its
// own, then " 完成！" (2037) appended to it on success, or exactly one error line: 2016 when a
// folder cannot be created; after a failed copy, by the error code: the two-line source and
// destination message (2), 2073 (5, a folder stands at the destination), 2018 (5 otherwise),
// 2020 (32), 2101 with the destination file (112 or 39, the disk full) or 2021 with the code.
// StepProgress once per copy attempted. Returns 1 when the file was copied, else 0 with the
// copy's error code in GetLastError.
// The bytes are written under a temporary name and put in place whole, or written where the
// placement undoes a half-written file (pPlacement, see above); the installed file is never
// read-only.
// A file that CheckPackageFile refuses is refused before anything is created or written, with 2021
// and its code.
// pbStop, when given, is looked at between chunks of the copy; a copy stopped that way leaves no
// temporary file and returns 0 without an error line.
// pszSha256, when not empty, is the digest the file must have (the Update.dat's FileSha256): it is
// computed in the same pass as the copy, and a file whose bytes differ is a failed copy with line
// 2071 and nothing put in place.
int CopyPackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszPackagePath,
                    const char* pszFilePath, const char* pszFileName,
                    const std::atomic<int>* pbStop = nullptr, IKFilePlacement* pPlacement = nullptr,
                    const char* pszSha256 = nullptr);

// Reports a package file that cannot be taken as it is listed (dwError: ERROR_INVALID_NAME,
// ERROR_FILENAME_EXCED_RANGE) the way CopyPackageFile reports a failed copy: the line 2015, the
// destination folder line, then 2021 with dwError. Always returns 0.
int RefusePackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszFilePath,
                      const char* pszFileName, unsigned long dwError);

// The catalogue's text nId with up to two texts put in, as one line on pMsgOutput (none when null).
void AddCatalogueLine(IKMsgOutput* pMsgOutput, int nId, const char* pszFirst = "", const char* pszSecond = "");

// The line 2021 for a file: FilePath, FileName and the error code.
void AddCopyErrorLine(IKMsgOutput* pMsgOutput, const char* pszFilePath, const char* pszFileName, unsigned long dwError);

// Creates the folders along pszPath: each prefix that ends in a backslash after the first
// backslash, at most 16 of them; the part before the first backslash (a drive) is never created,
// nor a last part without a trailing backslash. 1 when every folder handled exists afterwards
// (deeper levels are left alone), 0 when one cannot be created or the path has no backslash or
// begins with one.
int CreateFolderChain(const char* pszPath);


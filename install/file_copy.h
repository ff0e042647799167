// Copying one package file into the game folder, with the folders it needs.
#pragma once

#include <atomic>

class IKShellCtrl;

// Copies package folder + "\" + pszFilePath + pszFileName to the destination folder (game folder +
// "\" + pszFilePath, without pszFilePath when that is a lone "\" or "/") + pszFileName, creating
// missing destination folders and overwriting an existing destination even when it is read-only.
// Reports on pShellCtrl: the line 2015 with the file name, the destination folder as a line of its
// own, then " 完成！" (2037) appended to it on success, or exactly one error line: 2016 when a
// folder cannot be created; after a failed copy, by the error code: the two-line source and
// destination message (2), 2018 (5), 2020 (32) or 2021 with the code. StepProgress once per copy
// attempted. Returns 1 when the file was copied, else 0.
// A file whose FilePath or FileName names a parent folder ("..") or holds a colon, or whose paths
// would not fit MAX_PATH, is refused before anything is created or written, with 2021 and the
// code ERROR_INVALID_NAME or ERROR_FILENAME_EXCED_RANGE.
// pbStop, when given, cancels a copy in progress where the platform reports copy progress; a copy
// cancelled that way returns 0 without an error line.
int CopyPackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszPackagePath,
                    const char* pszFilePath, const char* pszFileName,
                    const std::atomic<int>* pbStop = nullptr);

// Reports a package file that cannot be taken as it is listed (dwError: ERROR_INVALID_NAME,
// ERROR_FILENAME_EXCED_RANGE) the way CopyPackageFile reports a failed copy: the line 2015, the
// destination folder line, then 2021 with dwError. Always returns 0.
int RefusePackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszFilePath,
                      const char* pszFileName, unsigned long dwError);

// Creates the folders along pszPath: each prefix that ends in a backslash after the first
// backslash, at most 16 of them; the part before the first backslash (a drive) is never created,
// nor a last part without a trailing backslash. 1 when every folder handled exists afterwards
// (deeper levels are left alone), 0 when one cannot be created or the path has no backslash or
// begins with one.
int CreateFolderChain(const char* pszPath);

// Why a file of the game folder cannot be written: another program holds it (the game, an editor),
// or its disk is full. The player is told which, since downloading the package again helps with
// neither.
#pragma once

#include <windows.h>

#include <string>

// How a step that writes a file of the game folder ended.
enum KWriteOutcome {
    KWRITE_FAILED = 0,  // any other failure
    KWRITE_DONE = 1,
    KWRITE_IN_USE,      // another program holds the file
    KWRITE_DISK_FULL,   // the file's disk has no room
    KWRITE_STOPPED,     // a stop was asked for
};

// True when another program holds the existing file strPath (UTF-8) so that it cannot be opened
// for reading and writing, shared for both, as the installer writes it.
bool FileInUse(const std::string& strPath);

// True when the disk of the file or folder strPath has fewer than nBytes free for this user.
bool DiskLacksRoom(const std::string& strPath, long long nBytes);

// The outcome a failed write's error code dwError tells: in use, disk full or failed.
int WriteOutcomeOfError(DWORD dwError);

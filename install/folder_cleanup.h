// Removal of the game's old plug-in folders before an installation.
#pragma once

// Deletes the folder pszPath (ANSI code page, with or without a trailing backslash) depth first:
// every file and subfolder, in the order the platform lists them, then the folder itself.
// Returns 1 when the folder itself was removed, else 0. Nothing is reported.
// Files that cannot be deleted (read-only, in use) stay, and so do the folders above them; all
// else is deleted all the same. A folder link is removed as a link and never descended into, so
// nothing it points to is touched. Entries past MAX_PATH go like any other.
// With bClearReadOnly the read-only attribute of files is cleared before they are deleted (for the
// installer's own working folder, whose set-aside copies may be read-only).
int DeleteFolderTree(const char* pszPath, int bClearReadOnly = 0);

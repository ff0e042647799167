// How mendwright-pack names package files: from the tree to FilePath/FileName, back to a path in
// the tree, and in its report.
#pragma once

#include <string>
#include <vector>

#include "pack/package_description.h"

// The game folder the checks assume (the package is taken to be unpacked in a folder of the same
// length): a typical install path, or, for nLength > 0, a folder of nLength characters.
std::string AssumedGamePath(int nLength);
enum { MIN_GAME_PATH_LENGTH = 4, MAX_GAME_PATH_LENGTH = 245 };

// True for what lies beside the files of a package without being one of them: Update.dat and
// the installer's own programs and libraries, in the package's top folder.
bool IsInstallerOwnFile(const std::vector<std::string>& aParts);

// FilePath and FileName of a tree entry given by its parts; false when GBK, the code page make
// writes Update.dat in, cannot hold a name.
bool ListedNameOf(const std::vector<std::string>& aParts, KListedFile* pFile);

// The tree entry a File names: the parts of package folder + FilePath + FileName, with empty
// levels dropped; false when the texts are not UTF-8 (the installer reads such a name as another).
bool TreePartsOf(const KListedFile& file, std::vector<std::string>* pParts);

// A tree path as the key the file system compares when the installer opens it (PackagePathKey).
std::string TreeKey(const std::vector<std::string>& aParts);

// FilePath + FileName for the report (a text that is not UTF-8 with its bytes above ASCII as \xNN).
std::string ShownName(const KListedFile& file);

// The parts joined with backslashes, as the installer writes paths.
std::string ShownParts(const std::vector<std::string>& aParts);

// A name that ends in a dot or a space somewhere: the installer looks for it without them and
// does not find the file. Not a code of the installer's.
enum : unsigned long { PACKED_NAME_TRAILING = 0x10000 };

// What make and check refuse in a File's names under the game folder strGame: CheckListedFile's
// code (too long when the texts did not fit the installer's buffers), else PACKED_NAME_TRAILING
// or PACKAGE_FILE_OK.
unsigned long CheckPackedName(const std::string& strGame, const KListedFile& file);

// Why the installer refuses a file, for a code of CheckPackedName; nGamePathLength names the
// assumed game folder's length.
std::string RefusalText(unsigned long ulCode, size_t uGamePathLength);

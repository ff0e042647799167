// The rules a listed package file must pass before the installer writes anything, and how it
// reads a File of the FileList. Portable: the packaging tool (pack/) applies the same rules on
// Linux and Windows. Names are in the installer's narrow text (core/ansi_text.h).
#pragma once

#include <string>
#include <vector>

#include "xml/xml_document.h"

class IKXmlNode;

// The installer's working folder inside the game folder; no package file may lie in it.
#define WORK_FOLDER_NAME ".mendwright"

// Why a listed file is refused. The values are the system error codes the installer reports with
// line 2021, so that the packaging tool can name the same code.
enum : unsigned long {
    PACKAGE_FILE_OK = 0,
    PACKAGE_FILE_TOO_DEEP = 3,      // ERROR_PATH_NOT_FOUND: below more folders than are made
    PACKAGE_FILE_BAD_NAME = 123,    // ERROR_INVALID_NAME
    PACKAGE_FILE_TOO_LONG = 206,    // ERROR_FILENAME_EXCED_RANGE
};

// The longest path the ANSI file functions take, terminator included (MAX_PATH).
enum { PACKAGE_MAX_PATH = 260 };

// The most levels below the drive that the installer makes folders for.
enum { PACKAGE_MAX_FOLDER_LEVELS = 16 };

// True when pszPart could lead outside the folder it is joined to, or names what no file can be
// named: a parent-folder component (either separator), a colon (drive, stream), a wildcard or
// other character that file names cannot hold, or a device name.
bool IsHostilePackagePart(const char* pszPart);

// The destination folder of a file: game folder + "\" + FilePath, FilePath left out when it is
// a lone "\" or "/".
std::string PackageDestFolder(const char* pszGamePath, const char* pszFilePath);

// The first folder or file name of a relative path as the system resolves it: empty and "."
// levels skipped, trailing dots and spaces dropped (".mendwright.\x" lies in ".mendwright").
std::string PackageFirstComponent(const std::string& strRelative);

// A relative path as the system resolves it when it opens it, for comparing two: either
// separator, empty and "." levels dropped, the last level without its trailing dots and spaces,
// any other without one trailing dot, letters in one case (FoldNameCase). "data/art.pak",
// "data\.\ART.pak", "data.\art.pak" and "data\art.pak " give one key, "data \art.pak" another.
std::string PackagePathKey(const std::string& strRelative);

// The plug-in folders every installation removes from the game folder before it copies.
extern const char* const g_apszPluginFolders[2];
// True when strName (one level, as PackageFirstComponent gives it) names one of them.
bool IsPluginFolder(const std::string& strName);

// True when a level of pszRelative other than "." ends in a dot or a space: the system drops
// them, so the file is found under another name than the one listed.
bool HasTrailingDotOrSpace(const char* pszRelative);

// Two names equal when ASCII letters are compared without case (other bytes as they are), as
// the file system matches the installer's own names and as the profile functions compare
// section and key names (KIniFile::FoldName on UTF-16).
bool EqualsNoCaseAscii(const std::string& strOne, const char* pszOther);

// The checks every listed file passes before anything is written: PACKAGE_FILE_BAD_NAME when
// FilePath or FileName (alone or joined) names a parent folder, holds a colon, a character no
// file name may hold, or a device name; PACKAGE_FILE_TOO_LONG when the destination or the source
// path would not fit MAX_PATH; else PACKAGE_FILE_OK.
unsigned long CheckPackageFile(const char* pszGamePath, const char* pszPackagePath, const char* pszFilePath,
                               const char* pszFileName);

// CheckPackageFile, and what the install plan adds: a FileName ending in a separator and a
// destination inside the installer's working folder (by its long name as the system resolves
// names; its short name exists only once the folder does, and the install transaction checks it
// then) are bad names, one below more folders than are made is too deep.
unsigned long CheckListedFile(const char* pszGamePath, const char* pszPackagePath, const char* pszFilePath,
                              const char* pszFileName);

// The first backslash at or after pszFrom, stepping over double-byte characters whole (a GBK trail
// byte may have the value of a backslash); null when there is none.
const char* FindPackageBackslash(const char* pszFrom);

// The folders the installer makes for pszPath, in creation order (each prefix with its trailing
// backslash, after the first backslash, at most PACKAGE_MAX_FOLDER_LEVELS). Empty when the path
// has no backslash, begins with one or does not fit MAX_PATH.
std::vector<std::string> FolderChain(const char* pszPath);

// Reads the text of pElement's child pszName into pszBuf (KXML_TEXT_SIZE bytes). A missing child
// leaves pszBuf alone (*pbPresent false); a child without text empties it. 0 when the text does
// not fit the buffer or a path of MAX_PATH.
int ReadPackageField(IKXmlNode* pElement, const char* pszName, char* pszBuf, bool* pbPresent);

// Length of the lower-case hex text of a SHA-256 digest.
enum { PACKAGE_SHA256_HEX = 64 };

// One File of the FileList as the installer reads it. Read fills the fields in document order of
// the Files; a File without FilePath keeps the previous File's (the installer's buffers are
// reused), every other field is the File's own.
class KListedFileReader {
public:
    KListedFileReader();
    // 1 when the File's texts fit the installer's 260-byte buffers, else 0 (the fields then hold
    // what fits).
    int Read(IKXmlNode* pFile);

    char m_szFilePath[KXML_TEXT_SIZE];
    char m_szFileName[KXML_TEXT_SIZE];
    bool m_bNamePresent;
    // The FileSha256 child's text, hex digits in lower case (the case the digests are computed
    // in); empty when the File has none (the file is then not checked) or an empty one.
    std::string m_strSha256;
    bool m_bSha256Present;
};

// 1 when pszText is PACKAGE_SHA256_HEX hex digits, in either case (the packaging tool writes lower
// case, other tools upper case).
int IsSha256Text(const char* pszText);
// A digest's text with its hex digits in lower case, the case the digests are computed in.
std::string LowerSha256Text(const char* pszText);

// mendwright-pack make: writes a package folder's Update.dat from the files in it.
#pragma once

#include <string>
#include <vector>

#include "install/package_deletes.h"

// Lists every file under strDir (except Update.dat and the installer's own programs), each with
// its SHA-256, in a stable order, and writes strDir's Update.dat: the title pstrTitle (UTF-8)
// when given, else the one the present Update.dat has, else the folder's name. When any file
// cannot be listed as the installer would take it, writes nothing. Appends the report's lines
// (UTF-8) to *pLines: every problem, or what was written. 0 written, 1 problems found.
// pExtras, when given, adds versions and packs (UTF-8, as typed): each "APP=VER" of aVersions a
// VersionInfo with that Version, each "APP=VER" of aBases the BaseVersion of that application's,
// each "SOURCE=TARGET" of aPacks a Pack with the Source's SHA-256; the Sources are then not
// listed as files; aDeletes (GBK) the DeleteList, judged as check judges it. Without versions
// the present VersionInfoList is kept as written, without packs the present PackList's packs
// (with fresh digests), without deletes the present DeleteList.
struct KMakeExtras {
    std::vector<std::string> aVersions;
    std::vector<std::string> aBases;
    std::vector<std::string> aPacks;
    std::vector<KPackageDelete> aDeletes;
};
int MakePackage(const std::string& strDir, const std::string* pstrTitle, std::vector<std::string>* pLines,
                const KMakeExtras* pExtras = nullptr);

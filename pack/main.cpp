// mendwright-pack: makes and checks update packages for the installer.
//   mendwright-pack make DIR [--title TEXT]
//   mendwright-pack check DIR [--game-path-length N] [--game GAME_DIR]
//   mendwright-pack diff OLD NEW OUT [--title TEXT] [--version APP=VER] [--base APP=VER]
// Exit code 0 done / clean, 1 problems found, 2 usage.
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/pack_platform.h"
#include "pack/package_check.h"
#include "pack/package_diff.h"
#include "pack/package_make.h"
#include "pack/package_names.h"

#ifdef _WIN32
#include "core/library_search.h"
#endif

namespace {

const char s_szUsage[] =
    "usage: mendwright-pack make DIR [--title TEXT] [--version APP=VER] [--base APP=VER]\n"
    "                                [--pack SOURCE=TARGET]\n"
    "       mendwright-pack check DIR [--game-path-length N] [--game GAME_DIR]\n"
    "       mendwright-pack diff OLD NEW OUT [--title TEXT] [--version APP=VER] [--base APP=VER]\n"
    "  make   writes DIR/Update.dat listing every file under DIR (GBK, with SHA-256\n"
    "         digests); refuses, writing nothing, names the installer cannot take\n"
    "         --version APP=VER  the game's version after the package (VersionInfo)\n"
    "         --base APP=VER     the version the package applies to (BaseVersion)\n"
    "         --pack SOURCE=TARGET  merges the pack SOURCE of DIR into the game's\n"
    "                            pack TARGET (PackList; SOURCE is not listed as a file)\n"
    "         each repeatable; without them the present Update.dat's are kept\n"
    "  check  reads DIR/Update.dat as the installer does and reports every problem an\n"
    "         install would hit; N: the length of the players' game folder\n"
    "         (default: C:\\Program Files (x86)\\Tarnwick, 31 characters)\n"
    "         --game GAME_DIR  also judges what needs the game folder, as the installer\n"
    "                          would on GAME_DIR: each pack Target there and a sound\n"
    "                          pack, no folder where a File goes, the versions\n"
    "                          against its version.ini (without it, check says\n"
    "                          what it left out)\n"
    "  diff   writes into OUT (new, or holding only the installer's programs) the\n"
    "         package that turns the game folder OLD into NEW: new and changed files,\n"
    "         Deletes for what NEW lacks, packs of only the new and changed entries,\n"
    "         the versions of NEW's version.ini over OLD's (--version, --base: as make)\n"
    "exit code: 0 written / no problems, 1 problems found, 2 usage error";

int s_Usage(bool bError) {
    std::string strUsage = s_szUsage;
    for (size_t uStart = 0; uStart < strUsage.size();) {
        size_t uEnd = strUsage.find('\n', uStart);
        if (uEnd == std::string::npos)
            uEnd = strUsage.size();
        WriteLine(strUsage.substr(uStart, uEnd - uStart), bError);
        uStart = uEnd + 1;
    }
    return bError ? 2 : 0;
}

int s_Diff(const std::vector<std::string>& aArgs) {
    if (aArgs.size() < 4 || aArgs[1].empty() || aArgs[2].empty() || aArgs[3].empty())
        return s_Usage(true);
    KDiffOptions options;
    std::string strTitle;
    for (size_t i = 4; i < aArgs.size(); ++i) {
        if (aArgs[i] == "--title" && i + 1 < aArgs.size() && !options.pstrTitle) {
            strTitle = aArgs[++i];
            options.pstrTitle = &strTitle;
        } else if ((aArgs[i] == "--version" || aArgs[i] == "--base") && i + 1 < aArgs.size()) {
            std::vector<std::string>& aList = aArgs[i] == "--version" ? options.aVersions : options.aBases;
            aList.push_back(aArgs[++i]);
        } else {
            return s_Usage(true);
        }
    }
    std::vector<std::string> aLines;
    int nResult = DiffPackage(aArgs[1], aArgs[2], aArgs[3], options, &aLines);
    for (const std::string& strLine : aLines)
        WriteLine(strLine);
    return nResult;
}

int s_Run(const std::vector<std::string>& aArgs) {
    for (const std::string& strArg : aArgs) {
        if (strArg == "--help" || strArg == "-h" || strArg == "/?")
            return s_Usage(false);
    }
    if (!aArgs.empty() && aArgs[0] == "diff")
        return s_Diff(aArgs);
    if (aArgs.size() < 2 || (aArgs[0] != "make" && aArgs[0] != "check") || aArgs[1].empty())
        return s_Usage(true);
    bool bMake = aArgs[0] == "make";
    std::string strTitle;
    bool bTitle = false;
    KMakeExtras extras;
    int nGamePathLength = 0;
    std::string strGameDir;
    for (size_t i = 2; i < aArgs.size(); ++i) {
        if (bMake && aArgs[i] == "--title" && i + 1 < aArgs.size() && !bTitle) {
            strTitle = aArgs[++i];
            bTitle = true;
        } else if (bMake && (aArgs[i] == "--version" || aArgs[i] == "--base" || aArgs[i] == "--pack") &&
                   i + 1 < aArgs.size()) {
            std::vector<std::string>& aList =
                aArgs[i] == "--version" ? extras.aVersions : aArgs[i] == "--base" ? extras.aBases : extras.aPacks;
            aList.push_back(aArgs[++i]);
        } else if (!bMake && aArgs[i] == "--game-path-length" && i + 1 < aArgs.size() && !nGamePathLength) {
            char* pszEnd = nullptr;
            long lLength = std::strtol(aArgs[++i].c_str(), &pszEnd, 10);
            if (*pszEnd || lLength < MIN_GAME_PATH_LENGTH || lLength > MAX_GAME_PATH_LENGTH) {
                WriteLine("mendwright-pack: --game-path-length takes " + std::to_string(MIN_GAME_PATH_LENGTH) + " to " +
                              std::to_string(MAX_GAME_PATH_LENGTH),
                          true);
                return 2;
            }
            nGamePathLength = static_cast<int>(lLength);
        } else if (!bMake && aArgs[i] == "--game" && i + 1 < aArgs.size() && strGameDir.empty() && !aArgs[i + 1].empty()) {
            strGameDir = aArgs[++i];
            if (!IsFolderPath(strGameDir)) {
                WriteLine("mendwright-pack: --game " + strGameDir + ": not a folder", true);
                return 2;
            }
        } else {
            return s_Usage(true);
        }
    }
    std::vector<std::string> aLines;
    int nResult = bMake ? MakePackage(aArgs[1], bTitle ? &strTitle : nullptr, &aLines, &extras)
                        : CheckPackage(aArgs[1], AssumedGamePath(nGamePathLength), &aLines, strGameDir);
    for (const std::string& strLine : aLines)
        WriteLine(strLine);
    return nResult;
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

// Arguments arrive in UTF-16, so that any folder name reaches the tool whole.
int wmain(int argc, wchar_t** argv) {
    RestrictLibrarySearch();
    std::vector<std::string> aArgs;
    for (int i = 1; i < argc; ++i) {
        int nLen = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string strArg(static_cast<size_t>(nLen > 0 ? nLen : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &strArg[0], nLen, nullptr, nullptr);
        strArg.resize(strArg.size() - 1);
        aArgs.push_back(strArg);
    }
    return s_Run(aArgs);
}
#else
int main(int argc, char** argv) {
    return s_Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif

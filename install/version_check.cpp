#include "install/version_check.h"

#include "core/string_ids.h"
#include "install/version_file.h"

std::vector<int> JudgeGameVersions(const std::string& strGamePath, const std::vector<KPackageVersion>& aVersions) {
    std::vector<int> aVerdicts;
    if (aVersions.empty())
        return aVerdicts;
    std::string strBytes;
    // A file that exists but cannot be read is taken as unreadable versions, not as none.
    bool bRead = ReadGameVersionFile(strGamePath + "\\" GAME_VERSION_FILE, &strBytes) != 0;
    for (const KPackageVersion& package : aVersions) {
        std::string strGame;
        bool bFound = FindGameVersion(strBytes, package.strApplication, &strGame);
        aVerdicts.push_back(bRead ? JudgeGameVersion(bFound ? strGame.c_str() : nullptr, package)
                                  : static_cast<int>(KVERSION_UNREADABLE));
    }
    return aVerdicts;
}

int VersionVerdictText(int nVerdict) {
    static const int s_anTexts[] = {0,
                                     IDS_VERSION_FILE_MISSING,
                                     IDS_VERSION_FILE_MISSING,
                                     IDS_PACKAGE_OLDER,
                                     IDS_ALREADY_NEWEST,
                                     IDS_GAME_TOO_OLD,
                                     IDS_VERSION_MISMATCH};
    return nVerdict >= 0 && nVerdict < static_cast<int>(sizeof(s_anTexts) / sizeof(s_anTexts[0])) ? s_anTexts[nVerdict] : 0;
}

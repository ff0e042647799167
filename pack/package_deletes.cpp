#include "pack/package_deletes.h"

#include <set>

#include "install/package_deletes.h"
#include "install/package_rules.h"
#include "pack/package_names.h"

void CheckPackageDeletes(const std::string& strGame, const std::vector<KListedFile>& aFiles,
                         const std::vector<KPackageMerge>& aMerges, const std::vector<KPackageDelete>& aDeletes,
                         std::vector<std::string>* pProblems) {
    if (aDeletes.empty())
        return;
    std::set<std::string> setWritten;
    for (const KListedFile& file : aFiles)
        setWritten.insert(PackagePathKey((file.strFilePath == "\\" ? std::string() : file.strFilePath) + file.strFileName));
    for (const KPackageMerge& merge : aMerges)
        setWritten.insert(PackagePathKey(merge.strTarget));
    for (const KPackageDelete& del : aDeletes) {
        KListedFile shown;
        shown.strFilePath = "\\";
        shown.strFileName = del.strPath;
        std::string strShown = "Delete " + ShownName(shown) + ": ";
        unsigned long ulCode = CheckPackageDelete(strGame.c_str(), GAME_LAUNCHER_FILE, del, setWritten);
        if (ulCode == PACKAGE_DELETE_PROTECTED)
            pProblems->push_back(strShown + "version.ini and the game's launcher are never removed: the installer refuses it");
        else if (ulCode == PACKAGE_DELETE_WRITTEN)
            pProblems->push_back(strShown + "the package writes this path (a File or a pack Target): the installer refuses it");
        else if (ulCode != PACKAGE_FILE_OK)
            pProblems->push_back(strShown + RefusalText(ulCode, strGame.size()));
        else if (HasTrailingDotOrSpace(del.strPath.c_str()))
            pProblems->push_back(strShown + "a name ending in a dot or a space: the system removes what it takes it for");
    }
}

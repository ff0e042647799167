// The resource list of a game folder loaded two ways, side by side in one run:
//  1. KResourceList::Load: each INI file read once and looked up in memory;
//  2. one profile call per key of every section, the way the list was read before.
// Sizes: sections of resource.ini (half of them of type 1, with a key triple), each with its
// section in resinstall.ini. The per-key way is timed only up to --per-key-limit sections.
// Usage: resource_list_bench [--sections N[,N...]] [--per-key-limit N] [--dir D]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "install/resource_list.h"

namespace {

double s_Seconds(const std::chrono::steady_clock::time_point& tStart) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

void s_Write(const std::string& strPath, const std::string& strText) {
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile || std::fwrite(strText.data(), 1, strText.size(), pFile) != strText.size()) {
        std::fprintf(stderr, "resource_list_bench: cannot write %s\n", strPath.c_str());
        std::exit(1);
    }
    std::fclose(pFile);
}

void s_MakeList(const std::string& strDir, int nSections) {
    std::string strCatalogue;
    std::string strStatus;
    for (int i = 0; i < nSections; ++i) {
        std::string strName = "package" + std::to_string(i);
        strCatalogue += "[" + strName + "]\r\ntitle=Package " + std::to_string(i) +
                        "\r\ndescript=Art resources\r\ndownloadworker=worker.exe\r\n";
        if (i % 2)
            strCatalogue += "type=1\r\nregkey1=SOFTWARE\\Tarnwick\\" + strName + "\r\nkeyname1=Path\r\nexe1=game.exe\r\n";
        strStatus += "[" + strName + "]\r\ninstall=" + std::to_string(i % 3) + "\r\nskip=0\r\n";
    }
    s_Write(strDir + "\\resource.ini", strCatalogue);
    s_Write(strDir + "\\resinstall.ini", strStatus);
}

std::string s_Profile(const char* pszSection, const char* pszKey, const char* pszIni) {
    char szValue[512] = {0};
    GetPrivateProfileStringA(pszSection, pszKey, "", szValue, sizeof(szValue), pszIni);
    return szValue;
}

// The former way: the section names, then every key of every section by its own call.
size_t s_LoadPerKey(const std::string& strIni, const std::string& strStatusIni) {
    std::vector<char> names(1 << 22, '\0');
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), strIni.c_str());
    size_t uEntries = 0;
    for (const char* pszName = names.data(); *pszName; pszName += std::strlen(pszName) + 1) {
        s_Profile(pszName, "title", strIni.c_str());
        s_Profile(pszName, "descript", strIni.c_str());
        s_Profile(pszName, "downloadworker", strIni.c_str());
        if (GetPrivateProfileIntA(pszName, "type", 0, strIni.c_str()) == 1) {
            for (int n = 1; n <= 9; ++n) {
                std::string strN = std::to_string(n);
                if (s_Profile(pszName, ("regkey" + strN).c_str(), strIni.c_str()).empty() ||
                    s_Profile(pszName, ("keyname" + strN).c_str(), strIni.c_str()).empty() ||
                    s_Profile(pszName, ("exe" + strN).c_str(), strIni.c_str()).empty())
                    break;
            }
        }
        GetPrivateProfileIntA(pszName, "install", 0, strStatusIni.c_str());
        GetPrivateProfileIntA(pszName, "skip", 0, strStatusIni.c_str());
        ++uEntries;
    }
    return uEntries;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {500, 2000, 10000, 100000};
    int nPerKeyLimit = 2000;
    std::string strDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string strOption = argv[i];
        if (strOption == "--sections") {
            sizes.clear();
            for (const char* p = argv[i + 1]; *p;) {
                sizes.push_back(std::atoi(p));
                p = std::strchr(p, ',') ? std::strchr(p, ',') + 1 : p + std::strlen(p);
            }
        } else if (strOption == "--per-key-limit") {
            nPerKeyLimit = std::atoi(argv[i + 1]);
        } else if (strOption == "--dir") {
            strDir = argv[i + 1];
        }
    }
    if (strDir.empty()) {
        char szTemp[MAX_PATH] = {0};
        GetTempPathA(sizeof(szTemp), szTemp);
        strDir = std::string(szTemp) + "mw_resource_list_bench";
    }
    CreateDirectoryA(strDir.c_str(), nullptr);
    std::string strIni = strDir + "\\resource.ini";
    std::string strStatusIni = strDir + "\\resinstall.ini";

    std::printf("%10s %12s %14s %8s\n", "sections", "read once s", "per key s", "ratio");
    for (int nSections : sizes) {
        s_MakeList(strDir, nSections);
        KResourceList list;
        auto tStart = std::chrono::steady_clock::now();
        list.Load(strIni.c_str(), strStatusIni.c_str());
        double dOnce = s_Seconds(tStart);
        if (list.m_EntryList.size() != static_cast<size_t>(nSections)) {
            std::fprintf(stderr, "resource_list_bench: %zu entries loaded of %d\n", list.m_EntryList.size(), nSections);
            return 1;
        }
        if (nSections <= nPerKeyLimit) {
            tStart = std::chrono::steady_clock::now();
            size_t uEntries = s_LoadPerKey(strIni, strStatusIni);
            double dPerKey = s_Seconds(tStart);
            std::printf("%10d %12.3f %14.3f %7.0fx%s\n", nSections, dOnce, dPerKey, dPerKey / (dOnce > 0 ? dOnce : 1e-9),
                        uEntries == static_cast<size_t>(nSections) ? "" : " (per-key count differs)");
        } else {
            std::printf("%10d %12.3f %14s %8s\n", nSections, dOnce, "-", "-");
        }
    }
    DeleteFileA(strIni.c_str());
    DeleteFileA(strStatusIni.c_str());
    RemoveDirectoryA(strDir.c_str());
    return 0;
}

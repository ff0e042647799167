// mendwright-cli: the Update command without a window. Loads the package description, runs the
// same checks and the same install worker as the dialog's Update button, and writes every line
// of the message list to standard output.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/console_shell.h"
#include "core/command_line.h"
#include "core/folder_path.h"
#include "core/program_folder.h"
#include "core/library_search.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "install/install_worker.h"
#include "install/pack_merge_process.h"
#include "install/update_command.h"
#include "xml/xml_document.h"

namespace {

enum {
    EXIT_INSTALLED = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
    EXIT_GAME_RUNNING = 3,
    EXIT_NOT_FITTING = 4,
};

const char s_szUsage[] =
    "usage: mendwright-cli [--package DIR] [--game DIR] [--reinstall] [--utf8]\r\n"
    "  --package DIR  the update package: Update.dat and the files to install\r\n"
    "                 (default: the folder of this program)\r\n"
    "  --game DIR     the game folder to install into (default: the one found at start)\r\n"
    "  --reinstall    install a package of the version the game has already\r\n"
    "  --utf8         write redirected output in UTF-8 (default: GBK)\r\n"
    "exit code: 0 installed, 1 failed (the game folder is as it was), 2 usage error,\r\n"
    "           3 the game or an update is running, 4 the package does not fit the game's\r\n"
    "           version (version.ini: missing, newer, the same, too old or another base)";

HANDLE g_hInterrupt = nullptr;

// Ctrl+C, Ctrl+Break and closing the console ask the worker to stop, as Quit does in the dialog.
BOOL WINAPI s_OnConsoleControl(DWORD dwType) {
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT && dwType != CTRL_CLOSE_EVENT)
        return FALSE;
    SetEvent(g_hInterrupt);
    if (dwType == CTRL_CLOSE_EVENT)
        Sleep(INFINITE);  // the system ends the process after a grace period; until then main stops the worker
    return TRUE;
}

struct KOptions {
    std::string strPackage;
    std::string strGame;
    bool bGame = false;
    bool bPackage = false;
    bool bHelp = false;
    bool bUtf8 = false;
    bool bReinstall = false;
};

// The program's arguments in UTF-8, read from the wide command line (the ANSI one cannot hold a
// folder whose name the system's code page lacks).
std::vector<std::string> s_Arguments() {
    std::vector<std::string> args;
    for (const std::wstring& wstrArgument : SplitCommandLine(GetCommandLineW()))
        args.push_back(WideToUtf8(wstrArgument.c_str()));
    return args;
}

// false on a usage error.
bool s_ParseOptions(const std::vector<std::string>& args, KOptions* pOptions) {
    size_t argc = args.size();
    for (size_t i = 1; i < argc; ++i) {
        const std::string& strArg = args[i];
        if (strArg == "--help" || strArg == "-h" || strArg == "/?") {
            pOptions->bHelp = true;
        } else if (strArg == "--utf8") {
            pOptions->bUtf8 = true;
        } else if (strArg == "--reinstall") {
            pOptions->bReinstall = true;
        } else if ((strArg == "--package" || strArg == "--game") && i + 1 < argc) {
            bool& bSeen = strArg == "--package" ? pOptions->bPackage : pOptions->bGame;
            if (bSeen)
                return false;
            bSeen = true;
            (strArg == "--package" ? pOptions->strPackage : pOptions->strGame) = args[++i];
        } else {
            return false;
        }
    }
    return !pOptions->bPackage || !pOptions->strPackage.empty();
}

// The package folder as a full path without a trailing backslash: DIR, or the folder of this
// program.
std::string s_PackageFolder(const KOptions& options) {
    if (options.bPackage) {
        std::string strFull;
        if (!GetFullPathU8(options.strPackage.c_str(), &strFull))
            return options.strPackage;
        return StripTrailingSeparators(strFull);
    }
    char szPath[MW_PATH_BYTES] = {0};
    GetProgramFolder(szPath, sizeof(szPath));
    return szPath;
}

// The number of File elements of the FileList, for the progress indicator.
int s_CountFiles(KUpdateInstaller* pInstaller) {
    IKXmlNode* pRoot = pInstaller->m_pXmlDoc ? pInstaller->m_pXmlDoc->GetRootElement("Root") : nullptr;
    IKXmlNode* pFileList = pRoot ? pRoot->GetFirstChildByName("FileList") : nullptr;
    int nFiles = 0;
    for (IKXmlNode* pFile = pFileList ? pFileList->GetFirstChildByName("File") : nullptr; pFile;
         pFile = pFile->GetNextSiblingByName("File"))
        ++nFiles;
    return nFiles;
}

// What Init reports, without its word that the folder its search found is wrong (2012): the
// Update command says that of the folder it installs into (--game DIR or the one found), so the
// line comes once, and never before an install into DIR that succeeds.
class KInitLines : public IKMsgOutput {
public:
    explicit KInitLines(IKMsgOutput* pOutput) : m_pOutput(pOutput) {}
    int AddMessage(const char* pszText) override {
        if (pszText && std::strcmp(pszText, GetString(IDS_GAME_PATH_WRONG)) == 0)
            return 1;
        return m_pOutput->AddMessage(pszText);
    }

private:
    IKMsgOutput* m_pOutput;
};

int s_Run(const KOptions& options, KConsoleOutput* pOutput) {
    KUpdateInstaller installer;
    KConsoleShell shell(&installer, pOutput);
    KInstallWorker worker;
    worker.m_pShellCtrl = &shell;

    std::string strPackage = s_PackageFolder(options);
    KInitLines initLines(&shell);
    installer.Init((strPackage + "\\Update.dat").c_str(), &initLines);
    installer.m_pMsgOutput = &shell;  // the resource check's lines go out whole
    if (!installer.IsDescriptionUsable()) {
        // Init has said why; the Update command would only say it again.
        shell.Flush();
        return EXIT_FAILED;
    }
    RecoverAtStartUp(installer.m_strGamePath.c_str(), &shell);
    shell.SetPaths(options.bGame ? options.strGame : installer.m_strGamePath, strPackage);
    shell.SetFileCount(s_CountFiles(&installer));
    shell.SetReinstall(options.bReinstall);

    int nOutcome = RunUpdateCommand(&shell, &shell, &worker);
    int nExit = EXIT_FAILED;
    if (nOutcome == KUPDATE_GAME_RUNNING) {
        nExit = EXIT_GAME_RUNNING;
    } else if (nOutcome == KUPDATE_VERSION_REFUSED) {
        nExit = EXIT_NOT_FITTING;
    } else if (nOutcome == KUPDATE_STARTED) {
        HANDLE ahWait[2] = {shell.EndedEvent(), g_hInterrupt};
        WaitForMultipleObjects(2, ahWait, FALSE, INFINITE);
        worker.Stop();
        nExit = shell.Result() == 1 ? EXIT_INSTALLED : EXIT_FAILED;
    }
    shell.Flush();
    return nExit;
}

}  // namespace

int main() {
    // Started by an installation for one of its merges: the child restricts its own search.
    int nMergeExit = RunPackMergeChild();
    if (nMergeExit >= 0)
        return nMergeExit;
    RestrictLibrarySearch();  // before anything loads a library (core/library_search.h)
    KConsoleOutput output;
    // The options first, so that even the first line comes in the encoding asked for.
    KOptions options;
    bool bUsage = s_ParseOptions(s_Arguments(), &options);
    output.SetUtf8(options.bUtf8);
    if (!LoadEngineLibrary()) {
        output.WriteNote(GetString(IDS_ENGINE_MISSING));
        return EXIT_FAILED;
    }
    if (!bUsage) {
        output.WriteNote(s_szUsage);
        return EXIT_USAGE;
    }
    if (options.bHelp) {
        output.WriteLine(s_szUsage);
        return EXIT_INSTALLED;
    }
    g_hInterrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(s_OnConsoleControl, TRUE);
    int nExit = s_Run(options, &output);
    output.Flush();
    return nExit;
}

// One installation as a transaction: nothing the player had is destroyed until the whole package
// is in, and any failure, stop or kill can be undone.
//
// The working folder WORK_FOLDER_NAME (hidden, inside the game folder, so that every move is a
// rename on one volume) holds the journal and what the run set aside ("old\interface",
// "old\interface2", "old\<n>", and "old\x<n>" for the paths the DeleteList removes); new files are
// written at their destinations. The transaction carries out a plan judged before
// (install/install_plan.h) and judges nothing itself. The journal is the plan, written whole and
// flushed before the first change: the plug-in folders and the deletions to set aside, the
// folders to create, every destination and whether it replaces a file of the player's. Each
// change's effect can be read from the folders, so one flushed write ahead of the run and one
// flushed commit mark after it are all the journal needs.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "install/file_copy.h"
#include "install/install_plan.h"
#include "install/write_obstacle.h"

class IKMsgOutput;
class KPackMergeChild;

class KInstallTransaction : public IKFilePlacement {
public:
    KInstallTransaction(const std::string& strGamePath, const KInstallPlan& plan);
    // Lets go of the working folder's lock, if still held.
    ~KInstallTransaction();
    KInstallTransaction(const KInstallTransaction&) = delete;
    KInstallTransaction& operator=(const KInstallTransaction&) = delete;

    // Makes the working folder, takes its lock (a file held open without sharing for the whole run,
    // so that no other installer takes the journal for an interrupted one) and writes the journal.
    // 0 with the cause in GetLastError; when a
    // destination lies in the working folder under another spelling (its short name), that
    // folder is removed again and RefusedFile names the file.
    int Begin();
    // The plan entry Begin refused; null when it refused none.
    const KPlanFile* RefusedFile() const { return m_pRefused; }
    // Sets plug-in folder strName aside. 0 with the cause in GetLastError.
    int SetAsidePluginFolder(const std::string& strName);
    // Sets deletion uDelete of the plan aside (removed at the commit). 0 with the cause in
    // GetLastError.
    int SetAsideDeletion(size_t uDelete);
    // The file of plan entry nFile comes next: TempPath and Place then act for it.
    void SelectFile(size_t uFile) {
        m_uFile = uFile;
        if (uFile + 1 > m_uReached)
            m_uReached = uFile + 1;
    }
    // Merges pack uPack of the plan into its target with PackComb of Cobblepak.dll in
    // strPackagePath, run in a child process (install/pack_merge_process.h) that *pbStop ends,
    // then checks that the target is a sound pack holding every entry of the source. Returns a
    // KWriteOutcome: KWRITE_DONE, or why not (a crash, a refusal or a result that fails the check
    // is KWRITE_FAILED). pStarted (when given) is a child started ahead; it merges when it is for
    // strPackagePath's library, else one is started.
    int MergePack(size_t uPack, const std::string& strPackagePath, const std::atomic<int>* pbStop,
                  KPackMergeChild* pStarted = nullptr);
    // Writes every version of the plan into the game's version.ini, edited in place
    // (install/version_file.h), the player's file copied aside first. Returns a KWriteOutcome.
    int WriteVersions();
    std::string TempPath(const std::string& strDestFile) override;
    int Place(const std::string& strTemp, const std::string& strDestFile) override;
    // Marks the run complete, then deletes what it set aside and the working folder.
    int Commit();
    // Puts everything back. Reports each path that cannot be restored (and where its copy lies) on
    // pMsgOutput; 1 when the game folder is as it was.
    int Rollback(IKMsgOutput* pMsgOutput);

private:
    std::string Work(const std::string& strRelative) const;
    std::string Game(const std::string& strRelative) const;

    std::string m_strGamePath;
    const KInstallPlan& m_Plan;
    size_t m_uFile;
    // Plan entries below this index may have been touched; a run that began here touched no
    // other, a transaction read back from a journal may have touched any.
    size_t m_uReached;
    // The same for the packs, whether the versions were begun and whether version.ini itself
    // may have been written (or made).
    size_t m_uPacksReached;
    size_t m_uDeletesReached;
    bool m_bVersionsReached;
    bool m_bVersionFileTouched;
    const KPlanFile* m_pRefused;
    void* m_hLock;  // the working folder's lock while this run holds it, else null
    // False while Begin has not made the working folder: one standing there is another run's, and
    // Rollback leaves it alone. True for a transaction read back from a journal.
    bool m_bOwnsWork;

    void ReleaseLock();
};

// What RecoverInterruptedInstall found.
enum KRecovery {
    KRECOVERY_NONE = 0,      // no interrupted installation
    KRECOVERY_UNDONE,        // an unfinished run was undone
    KRECOVERY_COMPLETED,     // a completed run's cleanup was finished
    KRECOVERY_FAILED,        // something could not be put back (reported), or the journal is damaged
    KRECOVERY_BUSY,          // a live installation holds the working folder's lock: nothing touched
};

// Looks for an interrupted installation in pszGamePath and finishes it: undoes an unfinished run
// or finishes the cleanup of a completed one, with one line on pMsgOutput saying which. Leaves a
// working folder whose lock a live run holds alone. Returns a KRecovery.
int RecoverInterruptedInstall(const char* pszGamePath, IKMsgOutput* pMsgOutput);

// Tests only: the run abandons itself (as a killed process would) once this many file-system
// changes are made; -1, the default, never.
extern std::atomic<int> g_nInstallStepsLeft;

// Thrown when g_nInstallStepsLeft runs out.
struct KInstallAbandoned {};

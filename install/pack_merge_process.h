// Cobblepak's merge in a child process. Cobblepak.dll ships in the update package and its PackComb
// runs inside the transaction: a library that crashes or ends its process must take only a child
// with it, so that the installer still rolls the run back and says so. The child is the running
// program itself, started again with PACK_MERGE_ARGUMENT.
#pragma once

#include <atomic>
#include <string>

#define PACK_MERGE_ARGUMENT "--merge-pack"

// How a merge in the child ended.
enum KPackMergeRun {
    KPACKMERGE_DONE = 0,     // PackComb returned S_OK
    KPACKMERGE_REFUSED,      // PackComb returned a failure
    KPACKMERGE_NO_LIBRARY,   // Cobblepak.dll did not load or exports no PackComb
    KPACKMERGE_CRASHED,      // the child ended any other way: the library crashed or ended it
    KPACKMERGE_NOT_STARTED,  // the child could not be started, the cause in GetLastError
    KPACKMERGE_STOPPED,      // *pbStop was set: the child was ended before it finished
};

// One child, started and later waited for: a start of the library's probe (both paths empty) can
// then overlap the checks before the first change. Ending the object ends a child still running.
class KPackMergeChild {
public:
    KPackMergeChild() = default;
    ~KPackMergeChild() { End(); }
    KPackMergeChild(const KPackMergeChild&) = delete;
    KPackMergeChild& operator=(const KPackMergeChild&) = delete;

    // Starts the child for the arguments of MergePackInChild. False when it could not be started,
    // the cause in GetLastError.
    bool Start(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
               void* hLock = nullptr);
    bool Started() const { return m_hProcess != nullptr; }
    // Waits for the started child to end, ending it as soon as *pbStop (when given) becomes
    // nonzero. A KPackMergeRun; KPACKMERGE_NOT_STARTED when none was started.
    int Wait(const std::atomic<int>* pbStop);
    // Ends a child still running and lets go of it.
    void End();

private:
    void* m_hJob = nullptr;
    void* m_hProcess = nullptr;
};

// Merges the pack strSource into the pack strTarget (full paths in UTF-8) with PackComb of
// Cobblepak.dll in strLibraryFolder, in a child process: the running program, started from its
// own folder without a window or console, inside a job that ends it when this process ends (a
// killed installer leaves no merge running behind its recovery). Waits for it and ends it as soon
// as *pbStop (when given) becomes nonzero. Returns a KPackMergeRun. With both paths empty the
// child only loads the library and looks for PackComb: KPACKMERGE_DONE when it is there.
// hLock (when not null) is duplicated into the child, so that a lock the run holds stays held
// until the child has ended, even when this process is killed first.
int MergePackInChild(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
                     const std::atomic<int>* pbStop, void* hLock = nullptr);

// For the start of every program that MergePackInChild may start, first thing, before the
// program restricts its library search: when the command line is a merge's (PACK_MERGE_ARGUMENT
// and its paths), restricts the library search, loads Cobblepak.dll by full path, runs PackComb
// and returns the exit code the process must end with; -1 for any other command line, and the
// program goes on as usual. A merge's child loads no library before that of its own, so it starts
// without the system's window and drawing libraries.
int RunPackMergeChild();

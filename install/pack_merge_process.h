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

// One merge's child, started ahead of its merge: it loads Cobblepak.dll from a folder and says
// so, then waits for the paths and the word to merge, so that its start and the library's load
// (the try of the library before the run's first change) overlap the run's checks. Ending the
// object ends a child still running.
class KPackMergeChild {
public:
    KPackMergeChild() = default;
    ~KPackMergeChild() { End(); }
    KPackMergeChild(const KPackMergeChild&) = delete;
    KPackMergeChild& operator=(const KPackMergeChild&) = delete;

    // Starts the child for Cobblepak.dll in strLibraryFolder. False when it could not be started,
    // the cause in GetLastError.
    bool Start(const std::string& strLibraryFolder);
    // Whether a child is started (and has not merged) for that folder.
    bool IsFor(const std::string& strLibraryFolder) const;
    // Waits until the child has loaded the library and found PackComb (KPACKMERGE_DONE) or has
    // ended, ending it as soon as *pbStop (when given) becomes nonzero. A KPackMergeRun.
    int WaitLoaded(const std::atomic<int>* pbStop);
    // Hands the child the paths of MergePackInChild and the word to merge, with hLock (when not
    // null) duplicated into it, and waits for it to end. A KPackMergeRun; KPACKMERGE_NOT_STARTED
    // when none was started or it could not be told.
    int Merge(const std::string& strTarget, const std::string& strSource, const std::atomic<int>* pbStop, void* hLock);
    // Ends a child still running and lets go of it.
    void End();

private:
    bool StartNow();
    void Release();
    int WaitEnd(const std::atomic<int>* pbStop);


    void* m_hJob = nullptr;
    void* m_hProcess = nullptr;
    void* m_hLoaded = nullptr;  // set by the child once PackComb is found
    void* m_hGo = nullptr;      // set by this process once the paths are in m_hPaths
    void* m_hPaths = nullptr;
    std::string m_strLibraryFolder;
};

// Merges the pack strSource into the pack strTarget (full paths in UTF-8) with PackComb of
// Cobblepak.dll in strLibraryFolder, in a child process: the running program, started from its
// own folder without a window or console, inside a job that ends it when this process ends (a
// killed installer leaves no merge running behind its recovery). Waits for it and ends it as soon
// as *pbStop (when given) becomes nonzero. Returns a KPackMergeRun.
// hLock (when not null) is duplicated into the child, so that a lock the run holds stays held
// until the child has ended, even when this process is killed first.
int MergePackInChild(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
                     const std::atomic<int>* pbStop, void* hLock = nullptr);

// For the start of every program that MergePackInChild may start, first thing, before the
// program restricts its library search: when the command line is a merge's (PACK_MERGE_ARGUMENT
// and the library's folder), restricts the library search, loads Cobblepak.dll by full path,
// waits for the paths, runs PackComb and returns the exit code the process must end with; -1 for
// any other command line, and the program goes on as usual. A merge's child loads no library
// before that of its own, so it starts without the system's window and drawing libraries.
int RunPackMergeChild();

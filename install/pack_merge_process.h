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

// Merges the pack strSource into the pack strTarget (full paths in UTF-8) with PackComb of
// Cobblepak.dll in strLibraryFolder, in a child process: the running program, started from its
// own folder without a window, inside a job that ends it when this process ends (a killed
// installer leaves no merge running behind its recovery). Waits for it and ends it as soon as
// *pbStop (when given) becomes nonzero. Returns a KPackMergeRun. With both paths empty the child
// only loads the library and looks for PackComb: KPACKMERGE_DONE when it is there.
// hLock (when not null) is duplicated into the child, so that a lock the run holds stays held
// until the child has ended, even when this process is killed first.
int MergePackInChild(const std::string& strLibraryFolder, const std::string& strTarget, const std::string& strSource,
                     const std::atomic<int>* pbStop, void* hLock = nullptr);

// For the start of every program that MergePackInChild may start, before anything else: when the
// command line is a merge's (PACK_MERGE_ARGUMENT and three paths), restricts the library search,
// loads Cobblepak.dll by full path, runs PackComb and returns the exit code the process must end
// with; -1 for any other command line, and the program goes on as usual.
int RunPackMergeChild();

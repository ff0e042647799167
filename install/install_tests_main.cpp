// The install tests' entry. Their installations merge packs in a child process that is the
// running program started again, as the installer's programs start themselves: then this
// program is that child.
#include <gtest/gtest.h>

#include "install/pack_merge_process.h"

int main(int argc, char** argv) {
    int nMergeExit = RunPackMergeChild();
    if (nMergeExit >= 0)
        return nMergeExit;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

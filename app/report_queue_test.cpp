// The queue between the install worker and the dialog's thread: what a batch holds, when the
// taker is to be told, and lines kept whole and in order while another thread adds them.
#include "app/report_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ReportQueueTest, BatchHoldsLinesInOrderWithAppendsJoined) {
    KReportQueue queue;
    queue.AddLine("first");
    queue.AddLine("second");
    queue.AppendToLine(" done");
    queue.StepProgress();
    queue.AddLine("");
    queue.AppendToLine("a");
    queue.AppendToLine("b");
    queue.StepProgress();
    KReportBatch batch;
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_FALSE(batch.bAppendToCurrent);
    EXPECT_EQ(batch.newLines, (std::vector<std::string>{"first", "second done", "ab"}));
    EXPECT_EQ(batch.nSteps, 2);
    EXPECT_EQ(batch.nShow, -1);
    EXPECT_FALSE(queue.Take(&batch));
    EXPECT_TRUE(batch.Empty());
}

TEST(ReportQueueTest, AppendBeforeAnyLineExtendsTheShownLine) {
    KReportQueue queue;
    queue.AppendToLine(" done");
    queue.AppendToLine("!");
    queue.AddLine("next");
    KReportBatch batch;
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_TRUE(batch.bAppendToCurrent);
    EXPECT_EQ(batch.strAppendToCurrent, " done!");
    EXPECT_EQ(batch.newLines, std::vector<std::string>{"next"});

    // An empty text still counts: the shown line is reselected.
    queue.AppendToLine("");
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_TRUE(batch.bAppendToCurrent);
    EXPECT_EQ(batch.strAppendToCurrent, "");
    EXPECT_TRUE(batch.newLines.empty());
}

TEST(ReportQueueTest, LastVisibilityCounts) {
    KReportQueue queue;
    queue.ShowProgress(1);
    queue.StepProgress();
    queue.ShowProgress(0);
    KReportBatch batch;
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_EQ(batch.nShow, 0);
    EXPECT_EQ(batch.nSteps, 1);
    EXPECT_TRUE(batch.newLines.empty());
    queue.ShowProgress(7);
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_EQ(batch.nShow, 1);
}

TEST(ReportQueueTest, TakerIsToldOnceUntilItFindsTheQueueEmpty) {
    KReportQueue queue;
    EXPECT_TRUE(queue.AddLine("a"));
    EXPECT_FALSE(queue.StepProgress());
    KReportBatch batch;
    ASSERT_TRUE(queue.Take(&batch));
    // The taker is still at work (it looks again later): no new notice.
    EXPECT_FALSE(queue.AppendToLine("b"));
    ASSERT_TRUE(queue.Take(&batch));
    EXPECT_FALSE(queue.Take(&batch));
    // Found empty: the next report is told again.
    EXPECT_TRUE(queue.ShowProgress(1));
    EXPECT_FALSE(queue.AddLine("c"));
}

// A worker adds numbered lines, each completed by an append and followed by a step, while this
// thread takes batches as they come: every line arrives once, whole, in order, and every notice
// finds something to take.
TEST(ReportQueueTest, LinesStayWholeAndInOrderWhileAdded) {
    const int nLines = 20000;
    KReportQueue queue;
    std::atomic<int> nNotices{0};
    std::thread worker([&]() {
        for (int i = 0; i < nLines; ++i) {
            nNotices += queue.AddLine(("line " + std::to_string(i)).c_str());
            nNotices += queue.AppendToLine(" done");
            nNotices += queue.StepProgress();
        }
    });
    std::vector<std::string> lines;
    int nSteps = 0;
    int nEmptyTakes = 0;
    bool bDone = false;
    while (!bDone) {
        bDone = lines.size() >= static_cast<size_t>(nLines) && nSteps >= nLines;
        KReportBatch batch;
        if (!queue.Take(&batch)) {
            ++nEmptyTakes;
            std::this_thread::yield();
            continue;
        }
        if (batch.bAppendToCurrent) {
            ASSERT_FALSE(lines.empty());
            lines.back() += batch.strAppendToCurrent;
        }
        lines.insert(lines.end(), batch.newLines.begin(), batch.newLines.end());
        nSteps += batch.nSteps;
    }
    worker.join();
    ASSERT_EQ(lines.size(), static_cast<size_t>(nLines));
    for (int i = 0; i < nLines; ++i)
        ASSERT_EQ(lines[static_cast<size_t>(i)], "line " + std::to_string(i) + " done");
    EXPECT_EQ(nSteps, nLines);
    // Each notice follows an empty take (or starts the run), so there are never more.
    EXPECT_GE(nNotices.load(), 1);
    EXPECT_LE(nNotices.load(), nEmptyTakes + 1);
}

}  // namespace

#include "core/string_table.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "tests/test_support.h"


TEST(KStringTable, TextsAreTheCatalogueInUtf8) {
    // A sample of entries whose bytes are easy to get wrong: the middle dot, full-width
    // punctuation, backslashes, a leading blank, format specifiers.
    EXPECT_EQ(std::string("·配置文件有误，不能进行升级，请重新下载升级包。"), GetString(2002));
    EXPECT_EQ(std::string("\xC2\xB7", 2), std::string(GetString(2012), 2));  // U+00B7 in UTF-8
    EXPECT_STREQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\velmora.exe", GetString(2032));
    EXPECT_STREQ("C:\\Program Files\\Tarnwick", GetString(2033));
    EXPECT_STREQ("D:\\Program Files\\Tarnwick", GetString(2034));
    EXPECT_STREQ("C:\\Tarnwick", GetString(2035));
    EXPECT_EQ(std::string(" 完成！"), GetString(2037));
    EXPECT_EQ(std::string("·复制%s%s时出错！（错误号：%d）"), GetString(2021));
    EXPECT_EQ(std::string("退出(&X)"), GetString(2053));
    EXPECT_EQ(std::string("·找不到游戏启动程序%s，请检查游戏路径。"), GetString(2054));
    EXPECT_STREQ("Tarnwick", GetString(2041));
}

TEST(KStringTable, EveryIdOfTheCatalogueHasTextAndNoOther) {
    for (int nID = 2000; nID <= 2120; ++nID) {
        bool bExists = (nID >= 2001 && nID <= 2042) || (nID >= 2050 && nID <= 2054) || (nID >= 2060 && nID <= 2073) || (nID >= 2075 && nID <= 2077) ||
                       nID == 2080 || nID == 2090 || nID == 2091 || nID == 2100 || nID == 2101 ||
                       (nID >= 2110 && nID <= 2113);
        EXPECT_EQ(bExists, GetString(nID)[0] != '\0') << nID;
    }
}

TEST(KStringTable, CachedTextsKeepTheirPointerAndMissingOnesAreNotCached) {
    const char* pszFirst = GetString(2041);
    EXPECT_EQ(pszFirst, GetString(2041));
    EXPECT_STREQ("", GetString(2045));
    EXPECT_EQ(GetString(2045), GetString(2046));  // the one static empty string
}

TEST(KStringTable, HandoffPatternFormsAnIniPath) {
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), GetString(2036), "C:\\temp", "pkg");
    EXPECT_STREQ("C:\\temp\\pkg.ini", szPath);
}

TEST(KStringTable, ConcurrentFirstRequestsAgree) {
    // Several threads ask for texts no one has asked for yet, all at once.
    KStringTable table;
    std::vector<std::thread> threads;
    std::vector<std::vector<const char*>> seen(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&table, &seen, t] {
            for (int round = 0; round < 50; ++round)
                for (int nID = 2001; nID <= 2042; ++nID)
                    seen[t].push_back(table.GetString(nID));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 1; t < 4; ++t)
        EXPECT_EQ(seen[0], seen[t]) << "thread " << t << " saw other pointers";
    std::set<const char*> distinct(seen[0].begin(), seen[0].end());
    EXPECT_EQ(42u, distinct.size());
}

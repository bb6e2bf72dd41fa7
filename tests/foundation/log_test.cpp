#include "foundation/log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace {

TEST(Log, HeaderRotationAndPrefixes)
{
    tvxtest::TempFolder dir;
    tvxtest::writeFile(dir / "Log.txt", "oldest\n");
    ASSERT_TRUE(gf_openLog(dir.path(), "1.0.0"));
    gf_closeLog();
    ASSERT_TRUE(gf_openLog(dir.path(), "1.2.3"));
    gf_log("plain");
    gf_logError("bad {}", 7);
    gf_logIndented("inner");
    gf_closeLog();
    gf_log("after close is dropped");

    EXPECT_EQ(tvxtest::readFile(dir / "Log2.txt"), "oldest\n");
    const std::string text = tvxtest::readFile(dir / "Log.txt");
    std::istringstream lines(text);
    std::string header;
    std::getline(lines, header);
    EXPECT_NE(header.find(" (utc) Tavix version 1.2.3 for MSFS 2020/2024"), std::string::npos) << header;
    EXPECT_NE(text.find("\nplain\n===> bad 7\n          inner\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("after close"), std::string::npos);
}

TEST(Log, EightThreadsNeverTearALine)
{
    tvxtest::TempFolder dir;
    ASSERT_TRUE(gf_openLog(dir.path(), "1.0.0"));
    constexpr int kThreads = 8;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            const std::string body(60, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                gf_log("{}:{}:{}", t, i, body);
        });
    for (auto& th : threads)
        th.join();
    gf_closeLog();

    std::istringstream lines(tvxtest::readFile(dir / "Log.txt"));
    std::string line;
    std::getline(lines, line);  // header
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const int t = line[0] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(line.substr(line.size() - 60), std::string(60, static_cast<char>('a' + t))) << line;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace

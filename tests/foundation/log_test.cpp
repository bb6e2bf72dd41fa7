#include "foundation/log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "support/full_disk_folder.h"
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

// A Log.txt that cannot be opened or written is said on standard error with the system's reason,
// once, and the reason is kept for the window's error line.
TEST(Log, ALogThatCannotBeWrittenIsSaid)
{
    tvxtest::TempFolder dir;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gf_openLog(dir / "gone", "1.0.0"));
    gf_log("nowhere");
    const std::string noFolder = std::generic_category().message(ENOENT);
    EXPECT_EQ(gf_logProblem(), noFolder);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tavix: Log.txt cannot be written: " + noFolder + "\n");

    // Opened on a full disk: the header already fails; each line tries again, said once. (The
    // stand-in for a full disk without a mount fails the capture's file as well.)
    {
        tvxtest::FullDiskFolder full(dir / "full");
        if (full.mounted())
            testing::internal::CaptureStderr();
        EXPECT_FALSE(gf_openLog(dir / "full", "1.0.0"));
        gf_log("first");
        gf_logError("second");
        EXPECT_EQ(gf_logProblem(), full.cause());
        if (full.mounted()) {
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tavix: Log.txt cannot be written: " + full.cause() + "\n");
        }
        gf_closeLog();
    }

    // Written again: no problem left.
    ASSERT_TRUE(gf_openLog(dir.path(), "1.0.0"));
    gf_log("here");
    EXPECT_EQ(gf_logProblem(), "");
    gf_closeLog();
}

}  // namespace

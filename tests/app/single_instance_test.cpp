// The single-instance guard: while one process holds "Local\$Tavix$", a second process running the
// program returns -1 at once; once the first has let go, the program may start again.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "app/entry.h"
#include "support/app_sandbox.h"
#include "win32/win_api.h"

namespace {

using tvxtest::AppSandbox;

// Runs the program in a child process and returns its exit status (-1 maps to 255).
int runProgramInChild()
{
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);  // never left running should the guard fail
        _exit(gf_runTavix() & 0xFF);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

TEST(SingleInstance, SecondProcessReturnsMinusOne)
{
    AppSandbox box;  // its own lock folder (XDG_RUNTIME_DIR)
    HANDLE first = CreateMutexW(nullptr, FALSE, L"Local\\$Tavix$");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_EQ(runProgramInChild(), 255);  // gf_runTavix returned -1
    EXPECT_FALSE(std::filesystem::exists(box.path() / "Log1.txt"));  // the log was not even opened

    ReleaseMutex(first);
    CloseHandle(first);
    HANDLE again = CreateMutexW(nullptr, FALSE, L"Local\\$Tavix$");
    EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(again);
}

}  // namespace

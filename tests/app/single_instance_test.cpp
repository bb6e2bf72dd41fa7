// The single-instance guard: while one process holds "Local\$Tavix$", a second process running the
// program returns -1 at once, saying why on standard error; once the first has let go, the program
// may start again.
#include <gtest/gtest.h>

#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "app/entry.h"
#include "support/app_sandbox.h"
#include "win32/win_api.h"

namespace {

using tvxtest::AppSandbox;

// Runs the program in a child process and returns its exit status (-1 maps to 255); what the
// child wrote to standard error goes to *errorText.
int runProgramInChild(std::string* errorText)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return -2000;
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);  // never left running should the guard fail
        close(pipeEnds[0]);
        dup2(pipeEnds[1], STDERR_FILENO);
        _exit(gf_runTavix() & 0xFF);
    }
    close(pipeEnds[1]);
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        errorText->append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
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

    std::string errorText;
    EXPECT_EQ(runProgramInChild(&errorText), 255);  // gf_runTavix returned -1
    // Nothing else tells a user why the program did not start.
    EXPECT_EQ(errorText, "Tavix is already running\n");
    EXPECT_FALSE(std::filesystem::exists(box.path() / "Log1.txt"));  // the log was not even opened

    ReleaseMutex(first);
    CloseHandle(first);
    HANDLE again = CreateMutexW(nullptr, FALSE, L"Local\\$Tavix$");
    EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(again);
}

}  // namespace

// The headless Win32 layer: controls in the window model, the message queue with the program's
// own messages, status and error lines on standard output, the single-instance lock across
// processes, the application-data folders and the timer resolution count.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"
#include "win32/win_api.h"
#include "win32/window_model.h"

using win32::windowModel;

namespace {

std::vector<UINT> g_seen;  // messages the test window procedure saw (window thread = test thread)

LRESULT CALLBACK lf_testProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    g_seen.push_back(msg);
    if (msg == WM_APP + 2) {
        DestroyWindow(hWnd);
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

class Win32Layer : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowModel().reset();
        windowModel().setEcho(false);
        g_seen.clear();
    }
    void TearDown() override { windowModel().setEcho(true); }

    HWND createMainWindow()
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = lf_testProc;
        wc.lpszClassName = L"TavixTest";
        EXPECT_NE(RegisterClassExW(&wc), 0);
        return CreateWindowExW(0, L"TavixTest", L"Tavix", 0, 0, 0, 700, 640, nullptr, nullptr, nullptr, nullptr);
    }
    static HWND createControl(HWND parent, const wchar_t* cls, const wchar_t* text, int id)
    {
        return CreateWindowExW(0, cls, text, 0, 0, 0, 10, 10, parent,
                               reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    }
};

// Saves and restores environment variables a test changes.
class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names)
    {
        for (auto& n : names) {
            const char* v = std::getenv(n.c_str());
            m_saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvGuard()
    {
        for (const auto& [n, v] : m_saved)
            v ? setenv(n.c_str(), v->c_str(), 1) : unsetenv(n.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

std::string lf_folder(int csidl, HRESULT* result = nullptr)
{
    wchar_t path[MAX_PATH] = L"x";
    const HRESULT hr = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    if (result)
        *result = hr;
    std::string out;
    for (const wchar_t* p = path; *p; ++p)
        out.push_back(static_cast<char>(*p));
    return out;
}

}  // namespace

TEST_F(Win32Layer, ControlsKeepTheirStateByControlId)
{
    HWND main = createMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(g_seen, std::vector<UINT>{WM_CREATE});
    HWND box = createControl(main, L"BUTTON", L"MSFS_2020", 1001);
    HWND edit = createControl(main, L"EDIT", L"40", 1002);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetDlgItem(main, 1001), box);
    EXPECT_EQ(GetDlgCtrlID(edit), 1002);
    EXPECT_EQ(windowModel().windowTitle(), "Tavix");
    EXPECT_EQ(windowModel().mainWindow(), main);

    // EnableWindow answers whether the window was disabled before.
    EXPECT_FALSE(EnableWindow(box, FALSE));
    EXPECT_TRUE(EnableWindow(box, FALSE));
    EXPECT_FALSE(windowModel().enabled(1001));
    EXPECT_TRUE(EnableWindow(box, TRUE));
    EXPECT_TRUE(windowModel().enabled(1001));

    EXPECT_TRUE(CheckDlgButton(main, 1001, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(main, 1001), BST_CHECKED);
    EXPECT_TRUE(windowModel().checked(1001));
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
    EXPECT_FALSE(windowModel().checked(1001));
    EXPECT_FALSE(CheckDlgButton(main, 4711, BST_CHECKED));  // no such control

    // Text goes in as UTF-16/32 and is kept as UTF-8; reading back honours the buffer size.
    EXPECT_TRUE(SetDlgItemTextW(main, 1002, L"Z\u00fcrich \u2708"));
    EXPECT_EQ(windowModel().text(1002), "Z\xc3\xbcrich \xe2\x9c\x88");
    wchar_t buffer[5];
    EXPECT_EQ(GetDlgItemTextW(main, 1002, buffer, 5), 4u);
    EXPECT_EQ(std::wstring(buffer), L"Z\u00fcri");
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"100"));
    EXPECT_EQ(windowModel().text(1002), "100");
    EXPECT_EQ(windowModel().controls().size(), 2u);
}

TEST_F(Win32Layer, PostedMessagesReachTheWindowProcedureInOrder)
{
    HWND main = createMainWindow();
    g_seen.clear();
    std::thread other([main] {
        PostMessageW(main, WM_APP + 1, 0, 0);  // 0x8001: the start-up
        InvalidateRect(main, nullptr, TRUE);
        InvalidateRect(main, nullptr, TRUE);  // coalesced with the waiting WM_PAINT
        PostMessageW(main, WM_APP + 2, 0, 0);  // quit
    });
    other.join();
    EXPECT_EQ(windowModel().invalidations(), 2);
    MSG msg{};
    int loops = 0;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ASSERT_LT(++loops, 10);
    }
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(g_seen, (std::vector<UINT>{0x8001, WM_PAINT, 0x8002, WM_DESTROY}));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Layer, StatusAndErrorLinesPrintWhenTheyChange)
{
    windowModel().setEcho(true);
    testing::internal::CaptureStdout();
    windowModel().setStatusLine("Waiting for MSFS 2020 ...");
    windowModel().setStatusLine("Waiting for MSFS 2020 ...");
    windowModel().setErrorLine("Error 71: MSFS 2024 is running");
    windowModel().setStatusLine("");
    // The periodic adjustment shows its line again after each clear: the terminal gets it once,
    // without the text's own line end; another text in between shows it again.
    windowModel().setStatusLine("Parking adjustments: 0 to be removed, 0 to be added\n");
    windowModel().setStatusLine("");
    windowModel().setStatusLine("Parking adjustments: 0 to be removed, 0 to be added\n");
    windowModel().setStatusLine("Waiting for MSFS 2020 ...");
    windowModel().setStatusLine("Parking adjustments: 0 to be removed, 0 to be added\n");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "[status] Waiting for MSFS 2020 ...\n[error] Error 71: MSFS 2024 is running\n"
                   "[status] Parking adjustments: 0 to be removed, 0 to be added\n"
                   "[status] Waiting for MSFS 2020 ...\n"
                   "[status] Parking adjustments: 0 to be removed, 0 to be added\n");
    const std::string adjusted = "Parking adjustments: 0 to be removed, 0 to be added\n";
    const std::string waiting = "Waiting for MSFS 2020 ...";
    EXPECT_EQ(windowModel().statusHistory(),
              (std::vector<std::string>{waiting, "", adjusted, "", adjusted, waiting, adjusted}));
    EXPECT_EQ(windowModel().errorLine(), "Error 71: MSFS 2024 is running");
    windowModel().setPainted("flight", "1");
    EXPECT_EQ(windowModel().painted("flight"), "1");
    EXPECT_FALSE(windowModel().painted("stands"));
}

TEST_F(Win32Layer, WaitForSeesChangesFromOtherThreadsAndTimesOut)
{
    std::thread writer([] { windowModel().setStatusLine("connected"); });
    EXPECT_TRUE(windowModel().waitFor([](const auto& m) { return m.statusLine() == "connected"; },
                                      std::chrono::seconds(5)));
    writer.join();
    EXPECT_FALSE(windowModel().waitFor([](const auto& m) { return m.errorLine() == "never"; },
                                       std::chrono::milliseconds(20)));
}

TEST_F(Win32Layer, SingleInstanceLockRefusesASecondHolder)
{
    tvxtest::TempFolder tmp;
    EnvGuard env({"XDG_RUNTIME_DIR"});
    setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1);
    const std::wstring name = L"Local\\$TavixTest$";
    HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(tmp / "tavix-lock-Local_$TavixTest$"));

    // Another process cannot take it...
    const pid_t child = fork();
    if (child == 0) {
        HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
        _exit(h != nullptr && GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // ...nor a second handle in this one.
    HANDLE second = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(second));
    // Once the first holder closes, the name is free again.
    EXPECT_TRUE(ReleaseMutex(first));
    EXPECT_TRUE(CloseHandle(first));
    HANDLE third = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(CloseHandle(third));
    EXPECT_FALSE(CloseHandle(third));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Win32Layer, ApplicationDataFolders)
{
    EnvGuard env({"TAVIX_ROAMING_DIR", "TAVIX_LOCAL_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"});
    setenv("TAVIX_ROAMING_DIR", "/data/roaming", 1);
    setenv("TAVIX_LOCAL_DIR", "/data/local", 1);
    EXPECT_EQ(lf_folder(CSIDL_APPDATA), "/data/roaming");
    EXPECT_EQ(lf_folder(CSIDL_LOCAL_APPDATA), "/data/local");
    unsetenv("TAVIX_ROAMING_DIR");
    unsetenv("TAVIX_LOCAL_DIR");
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    setenv("XDG_DATA_HOME", "relative/ignored", 1);  // XDG paths must be absolute
    setenv("HOME", "/home/pilot", 1);
    EXPECT_EQ(lf_folder(CSIDL_APPDATA), "/xdg/config");
    EXPECT_EQ(lf_folder(CSIDL_LOCAL_APPDATA), "/home/pilot/.local/share");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(lf_folder(CSIDL_APPDATA), "/home/pilot/.config");
    HRESULT hr = S_OK;
    EXPECT_EQ(lf_folder(0x0005, &hr), "");  // a folder the layer does not know
    EXPECT_EQ(hr, E_FAIL);
    setenv("TAVIX_ROAMING_DIR", ("/" + std::string(300, 'a')).c_str(), 1);
    EXPECT_EQ(lf_folder(CSIDL_APPDATA, &hr), "");
    EXPECT_EQ(hr, E_FAIL);
    unsetenv("TAVIX_ROAMING_DIR");
    unsetenv("HOME");
    EXPECT_EQ(lf_folder(CSIDL_APPDATA, &hr), "");
    EXPECT_EQ(hr, E_FAIL);
}

TEST_F(Win32Layer, TimerResolutionRequestsBalance)
{
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(windowModel().timerPeriodDepth(), 2);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(windowModel().timerPeriodDepth(), 0);
}

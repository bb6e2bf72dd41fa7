// Entry point of the tavix executable. On Windows wWinMain, elsewhere main with the headless
// window: both run the same program (gf_runTavix). No command-line arguments are read. Off Windows
// SIGINT and SIGTERM ask the window to close, which runs the normal exit.
#include "app/entry.h"

#ifdef _WIN32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return gf_runTavix();
}

#else

#include <csignal>
#include <pthread.h>
#include <thread>

#include "frame/window_model.h"
#include "win32/win_api.h"

int main()
{
    // Block the stop signals in every thread; one watcher thread takes them synchronously, so
    // nothing runs inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::thread watcher([stopSignals] {
        for (;;) {
            int signal = 0;
            if (sigwait(&stopSignals, &signal) != 0 || signal == SIGUSR1)
                return;  // SIGUSR1: the program has ended
            if (g_hWnd != nullptr)
                PostMessageW(g_hWnd, WM_CLOSE, 0, 0);
        }
    });
    const int result = gf_runTavix();
    pthread_kill(watcher.native_handle(), SIGUSR1);
    watcher.join();
    return result;
}

#endif

// Entry point of the tavix executable. On Windows wWinMain, elsewhere main with the headless
// window: both run the same program (gf_runTavix). No command-line arguments are read. Off Windows
// SIGINT and SIGTERM ask the window to close, which runs the normal exit, also when they come
// before the window exists.
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

    // A shell that starts a program in the background leaves SIGINT ignored: a stop asked for by
    // the user still closes Tavix.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    std::thread watcher([stopSignals] {
        bool closeAsked = false;
        for (;;) {
            // A stop that comes before the window exists is kept until the window can take it.
            timespec poll{0, 50'000'000};
            const int signal = closeAsked ? sigtimedwait(&stopSignals, nullptr, &poll)
                                          : sigwaitinfo(&stopSignals, nullptr);
            if (signal == SIGUSR1)
                return;  // the program has ended
            if (signal == SIGINT || signal == SIGTERM)
                closeAsked = true;
            if (closeAsked && g_hWnd != nullptr) {
                PostMessageW(g_hWnd, WM_CLOSE, 0, 0);
                closeAsked = false;
            }
        }
    });
    const int result = gf_runTavix();
    pthread_kill(watcher.native_handle(), SIGUSR1);
    watcher.join();
    return result;
}

#endif

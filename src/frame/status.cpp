// The status and error lines of the main window, writable from any thread. The status-line mutex
// guards both texts; it is taken after the simulator mutexes and before the log mutex. The texts
// are mirrored into the painted values, which repaint the window's status area.
#include "frame/status.h"

#include <mutex>

#include "foundation/format.h"
#include "foundation/log.h"
#include "frame/window_model.h"

namespace {

std::mutex g_statusLineMutex;   // guards the two texts below
std::string g_statusText;
std::string g_errorText;

void lf_publish()
{
    gf_updatePainted([](PaintedValues& painted) {
        painted.statusLine = g_statusText;
        painted.errorLine = g_errorText;
    });
}

}  // namespace

void gf_setStatusLine(std::string_view text, bool log)
{
    std::lock_guard lock(g_statusLineMutex);
    if (log)
        gf_log(text);
    if (!g_errorText.empty())
        return;
    g_statusText = text;
    lf_publish();
}

void gf_clearStatusLine()
{
    std::lock_guard lock(g_statusLineMutex);
    g_statusText.clear();
    lf_publish();
}

void gf_clearStatusLineIf(std::string_view text)
{
    std::lock_guard lock(g_statusLineMutex);
    if (g_statusText != text)
        return;
    g_statusText.clear();
    lf_publish();
}

void gf_setErrorLine(std::string_view text)
{
    std::lock_guard lock(g_statusLineMutex);
    g_errorText = tvx::format("Error {}", text);
    gf_log(g_errorText);
    lf_publish();
}

void gf_showErrorLine(std::string_view text)
{
    std::lock_guard lock(g_statusLineMutex);
    g_errorText = tvx::format("Error {}", text);
    lf_publish();
}

void gf_clearErrorLine()
{
    std::lock_guard lock(g_statusLineMutex);
    g_errorText.clear();
    lf_publish();
}

std::string gf_statusLineText()
{
    std::lock_guard lock(g_statusLineMutex);
    return g_statusText;
}

std::string gf_errorLineText()
{
    std::lock_guard lock(g_statusLineMutex);
    return g_errorText;
}

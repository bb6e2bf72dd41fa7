// Headless answers to the kernel32, shell32, winmm and message-queue calls of win_api.h: the
// thread's last error, one process-wide message queue (posted from any thread, taken by the
// window thread's loop), the named mutex as a file lock, the application-data folders from the
// environment, and the timer-resolution count.
//
// Any thread; the queue and the mutex table each have their own lock.
#ifndef _WIN32

#include "win32/win_api.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "win32/headless_internal.h"

namespace win32 {

std::atomic<int> g_timerPeriodDepth{0};

namespace {

thread_local DWORD g_lastError = ERROR_SUCCESS;

struct Queue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> messages;
    std::set<std::uintptr_t> paintPending;
};

Queue& lf_queue()
{
    static Queue* q = new Queue;  // never destroyed: posting threads may outlive main
    return *q;
}

bool lf_matches(const MSG& m, HWND hWnd, UINT filterMin, UINT filterMax)
{
    if (hWnd != nullptr && m.hwnd != hWnd)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return m.message >= filterMin && m.message <= filterMax;
}

// Takes the first matching message; WM_QUIT is always taken regardless of the window filter.
bool lf_take(Queue& q, MSG* out, HWND hWnd, UINT filterMin, UINT filterMax, bool remove)
{
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
        if (it->message != WM_QUIT && !lf_matches(*it, hWnd, filterMin, filterMax))
            continue;
        *out = *it;
        if (remove) {
            if (it->message == WM_PAINT)
                q.paintPending.erase(reinterpret_cast<std::uintptr_t>(it->hwnd));
            q.messages.erase(it);
        }
        return true;
    }
    return false;
}

struct NamedLock {
    int fd = -1;
    bool owner = false;
};

std::mutex g_locksMutex;
std::map<std::uintptr_t, NamedLock> g_locks;  // guarded by g_locksMutex
std::uintptr_t g_nextLockHandle = 0x4d000;

std::filesystem::path lf_lockFolder()
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run && std::filesystem::is_directory(run))
        return run;
    std::error_code ec;
    auto temp = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : temp;
}

// "Local\$Tavix$" -> "tavix-lock-Local_$Tavix$": a file name, one per mutex name.
std::string lf_lockFileName(const std::string& name)
{
    std::string out = "tavix-lock-";
    for (char c : name)
        out.push_back(c == '\\' || c == '/' ? '_' : c);
    return out;
}

}  // namespace

void gf_postPaintOnce(HWND hWnd)
{
    Queue& q = lf_queue();
    {
        std::lock_guard lock(q.mutex);
        if (!q.paintPending.insert(reinterpret_cast<std::uintptr_t>(hWnd)).second)
            return;
        q.messages.push_back(MSG{hWnd, WM_PAINT, 0, 0, 0, {0, 0}});
    }
    q.arrived.notify_all();
}

bool gf_paintPending(HWND hWnd)
{
    Queue& q = lf_queue();
    std::lock_guard lock(q.mutex);
    return q.paintPending.count(reinterpret_cast<std::uintptr_t>(hWnd)) != 0;
}

bool gf_takePaint(HWND hWnd)
{
    Queue& q = lf_queue();
    std::lock_guard lock(q.mutex);
    if (q.paintPending.erase(reinterpret_cast<std::uintptr_t>(hWnd)) == 0)
        return false;
    std::erase_if(q.messages, [hWnd](const MSG& m) { return m.message == WM_PAINT && m.hwnd == hWnd; });
    return true;
}

void gf_clearQueue()
{
    Queue& q = lf_queue();
    std::lock_guard lock(q.mutex);
    q.messages.clear();
    q.paintPending.clear();
}

}  // namespace win32

using namespace win32;

DWORD GetLastError()
{
    return g_lastError;
}

void SetLastError(DWORD error)
{
    g_lastError = error;
}

// ---- message queue -------------------------------------------------------------------------------

BOOL PostMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Queue& q = lf_queue();
    {
        std::lock_guard lock(q.mutex);
        q.messages.push_back(MSG{hWnd, msg, wParam, lParam, 0, {0, 0}});
    }
    q.arrived.notify_all();
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    PostMessageW(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL GetMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    Queue& q = lf_queue();
    std::unique_lock lock(q.mutex);
    q.arrived.wait(lock, [&] { return lf_take(q, msg, hWnd, filterMin, filterMax, true); });
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg)
{
    if (!msg)
        return FALSE;
    Queue& q = lf_queue();
    std::lock_guard lock(q.mutex);
    return lf_take(q, msg, hWnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD, const HANDLE*, BOOL, DWORD milliseconds, DWORD)
{
    Queue& q = lf_queue();
    std::unique_lock lock(q.mutex);
    const bool arrived = q.arrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                            [&] { return !q.messages.empty(); });
    return arrived ? 0 : WAIT_TIMEOUT;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;  // no keyboard here
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    WNDPROC proc = gf_windowProcOf(msg->hwnd);
    return proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

// ---- named mutex ---------------------------------------------------------------------------------

HANDLE CreateMutexW(void*, BOOL initialOwner, LPCWSTR name)
{
    if (!name || !*name) {
        // An unnamed mutex cannot collide with anything: a handle that owns nothing.
        std::lock_guard lock(g_locksMutex);
        const std::uintptr_t h = g_nextLockHandle++;
        g_locks[h] = NamedLock{-1, initialOwner != FALSE};
        SetLastError(ERROR_SUCCESS);
        return reinterpret_cast<HANDLE>(h);
    }
    const auto path = lf_lockFolder() / lf_lockFileName(gf_wideToUtf8(name));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // flock locks belong to the open file description, so a second CreateMutexW in this process
    // is refused just like one in another process.
    const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    std::lock_guard lock(g_locksMutex);
    const std::uintptr_t h = g_nextLockHandle++;
    g_locks[h] = NamedLock{fd, taken && initialOwner != FALSE};
    SetLastError(taken ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    if (!taken) {
        ::close(fd);
        g_locks[h].fd = -1;
    }
    return reinterpret_cast<HANDLE>(h);
}

BOOL ReleaseMutex(HANDLE mutex)
{
    std::lock_guard lock(g_locksMutex);
    auto it = g_locks.find(reinterpret_cast<std::uintptr_t>(mutex));
    if (it == g_locks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Ownership is not tracked across threads here; the lock on the name lasts until CloseHandle.
    it->second.owner = false;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    std::lock_guard lock(g_locksMutex);
    auto it = g_locks.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_locks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.fd >= 0)
        ::close(it->second.fd);  // releases the flock
    g_locks.erase(it);
    return TRUE;
}

// ---- folders -------------------------------------------------------------------------------------

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    if (!path)
        return E_FAIL;
    const int folder = csidl & ~CSIDL_FLAG_CREATE;
    const char* overrideVar = nullptr;
    const char* xdgVar = nullptr;
    const char* homeTail = nullptr;
    if (folder == CSIDL_APPDATA) {
        overrideVar = "TAVIX_ROAMING_DIR";
        xdgVar = "XDG_CONFIG_HOME";
        homeTail = ".config";
    } else if (folder == CSIDL_LOCAL_APPDATA) {
        overrideVar = "TAVIX_LOCAL_DIR";
        xdgVar = "XDG_DATA_HOME";
        homeTail = ".local/share";
    } else {
        path[0] = L'\0';
        return E_FAIL;
    }
    std::filesystem::path result;
    if (const char* v = std::getenv(overrideVar); v && *v)
        result = v;
    else if (const char* x = std::getenv(xdgVar); x && *x && x[0] == '/')
        result = x;
    else if (const char* home = std::getenv("HOME"); home && *home)
        result = std::filesystem::path(home) / homeTail;
    else {
        path[0] = L'\0';
        return E_FAIL;
    }
    if (csidl & CSIDL_FLAG_CREATE) {
        std::error_code ec;
        std::filesystem::create_directories(result, ec);
        if (ec) {
            path[0] = L'\0';
            return E_FAIL;
        }
    }
    const std::wstring wide = gf_utf8ToWide(result.string());
    if (wide.size() >= MAX_PATH) {
        path[0] = L'\0';
        return E_FAIL;
    }
    wide.copy(path, wide.size());
    path[wide.size()] = L'\0';
    return S_OK;
}

// ---- timer resolution ----------------------------------------------------------------------------

MMRESULT timeBeginPeriod(UINT periodMs)
{
    if (periodMs == 0)
        return TIMERR_NOCANDO;
    ++g_timerPeriodDepth;
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT periodMs)
{
    if (periodMs == 0)
        return TIMERR_NOCANDO;
    int depth = g_timerPeriodDepth.load();
    while (depth > 0 && !g_timerPeriodDepth.compare_exchange_weak(depth, depth - 1)) {
    }
    return depth > 0 ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

#endif  // _WIN32

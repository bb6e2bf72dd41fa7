// The headless window model and the user32 window and control calls that feed it: registered
// classes, windows and controls by handle and control id, their text, enabled and checked state,
// the status and error lines (echoed to standard output) and the painted values.
//
// Any thread; one mutex guards the registry and the model. Window procedures are called without
// it (SendMessageW of an unhandled message, WM_CREATE).
#ifndef _WIN32

#include "win32/window_model.h"

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>

#include "win32/headless_internal.h"
#include "win32/win_api.h"

namespace win32 {

namespace {

struct Window {
    HWND parent = nullptr;
    ControlState state;
    WNDPROC proc = nullptr;
    RECT place{};  // relative to the parent's client area; a top-level window's on the screen
    bool iconic = false;
    DWORD textColour = 0;
    std::vector<DrawnText> picture;  // its last paint
};

struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t version = 0;
    std::map<std::string, WNDPROC> classes;
    std::map<std::uintptr_t, Window> windows;  // by handle value, in creation order
    std::uintptr_t nextHandle = 0x10000;
    std::string statusLine, errorLine;
    std::string statusEchoed, errorEchoed;  // the last text echoed of each line
    std::vector<std::string> statusHistory, errorHistory;
    std::map<std::string, std::string> painted;
    int invalidations = 0;
    bool echo = true;
    HWND focus = nullptr;
};

Registry& lf_registry()
{
    static Registry* r = new Registry;  // never destroyed: other threads may outlive main
    return *r;
}

std::uintptr_t lf_key(HWND h)
{
    return reinterpret_cast<std::uintptr_t>(h);
}

Window* lf_find(Registry& r, HWND h)
{
    auto it = r.windows.find(lf_key(h));
    return it == r.windows.end() ? nullptr : &it->second;
}

// Control of a dialog (parent) by id; the first created wins.
Window* lf_child(Registry& r, HWND parent, int id)
{
    for (auto& [key, w] : r.windows)
        if (w.parent == parent && w.parent != nullptr && w.state.id == id)
            return &w;
    return nullptr;
}

// Top-left corner of the window's client area on the screen; (0, 0) for the screen (null).
POINT lf_clientOrigin(Registry& r, HWND h)
{
    POINT origin{0, 0};
    for (Window* w = h ? lf_find(r, h) : nullptr; w != nullptr; w = w->parent ? lf_find(r, w->parent) : nullptr) {
        origin.x += w->place.left;
        origin.y += w->place.top;
    }
    return origin;
}

bool lf_isEdit(const Window* w)
{
    return w != nullptr && w->parent != nullptr && w->state.className == "EDIT";
}

// The edit box's notification for its parent, or nothing when the window is not an edit box.
struct Notification {
    WNDPROC parentProc = nullptr;
    HWND parent = nullptr;
    WPARAM wParam = 0;
    HWND control = nullptr;
    void send() const
    {
        if (parentProc)
            parentProc(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control));
    }
};

Notification lf_editNotification(Registry& r, HWND h, WORD code)
{
    Window* w = h ? lf_find(r, h) : nullptr;
    if (!lf_isEdit(w))
        return {};
    Window* parent = lf_find(r, w->parent);
    const auto id = static_cast<WPARAM>(static_cast<WORD>(w->state.id));
    return {parent ? parent->proc : nullptr, w->parent, id | (static_cast<WPARAM>(code) << 16), h};
}

void lf_changed(Registry& r)
{
    ++r.version;
    r.changed.notify_all();
}

// Sets the status or error line: an unchanged text does nothing; a new one is kept in its history
// and counts as a change. With echo on, a text with news is echoed to stdout as "[tag] text" (its
// trailing line ends dropped); a cleared line and the text echoed last, shown again after a clear
// (the periodic parking adjustment does so every 15 s), have none.
void lf_setLine(std::string Registry::*line, std::string Registry::*echoed,
                std::vector<std::string> Registry::*history, const char* tag, std::string text)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    if (text == r.*line)
        return;
    r.*line = std::move(text);
    (r.*history).push_back(r.*line);
    std::string shown = r.*line;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' || shown.back() == ' '))
        shown.pop_back();
    if (r.echo && !shown.empty() && shown != r.*echoed) {
        r.*echoed = shown;
        std::printf("[%s] %s\n", tag, shown.c_str());
        std::fflush(stdout);
    }
    lf_changed(r);
}

}  // namespace

// ---- text --------------------------------------------------------------------------------------

std::string gf_wideToUtf8(const wchar_t* text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring gf_utf8ToWide(std::string_view text)
{
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
        std::uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((n & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (n & 0x3F);
        }
        if (!ok) {
            out.push_back(L'\uFFFD');
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

void gf_notifyModelChanged()
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    lf_changed(r);
}

WNDPROC gf_windowProcOf(HWND hWnd)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return w ? w->proc : nullptr;
}

// ---- the model ---------------------------------------------------------------------------------

WindowModel& windowModel()
{
    static WindowModel model;
    return model;
}

std::optional<ControlState> WindowModel::control(int id) const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [key, w] : r.windows)
        if (w.parent != nullptr && w.state.id == id)
            return w.state;
    return std::nullopt;
}

std::vector<ControlState> WindowModel::controls() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    std::vector<ControlState> out;
    for (const auto& [key, w] : r.windows)
        if (w.parent != nullptr)
            out.push_back(w.state);
    return out;
}

bool WindowModel::enabled(int id) const
{
    auto c = control(id);
    return c && c->enabled;
}

bool WindowModel::checked(int id) const
{
    auto c = control(id);
    return c && c->checked;
}

std::string WindowModel::text(int id) const
{
    auto c = control(id);
    return c ? c->text : std::string();
}

std::string WindowModel::windowTitle() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [key, w] : r.windows)
        if (w.parent == nullptr)
            return w.state.text;
    return {};
}

HWND WindowModel::mainWindow() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [key, w] : r.windows)
        if (w.parent == nullptr)
            return w.state.hwnd;
    return nullptr;
}

void WindowModel::setStatusLine(std::string text)
{
    lf_setLine(&Registry::statusLine, &Registry::statusEchoed, &Registry::statusHistory, "status", std::move(text));
}

std::string WindowModel::statusLine() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.statusLine;
}

void WindowModel::setErrorLine(std::string text)
{
    lf_setLine(&Registry::errorLine, &Registry::errorEchoed, &Registry::errorHistory, "error", std::move(text));
}

std::string WindowModel::errorLine() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.errorLine;
}

std::vector<std::string> WindowModel::statusHistory() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.statusHistory;
}

std::vector<std::string> WindowModel::errorHistory() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.errorHistory;
}

void WindowModel::setPainted(const std::string& key, std::string value)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    auto it = r.painted.find(key);
    if (it != r.painted.end() && it->second == value)
        return;
    r.painted[key] = std::move(value);
    lf_changed(r);
}

std::optional<std::string> WindowModel::painted(const std::string& key) const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    auto it = r.painted.find(key);
    if (it == r.painted.end())
        return std::nullopt;
    return it->second;
}

std::map<std::string, std::string> WindowModel::paintedValues() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.painted;
}

int WindowModel::invalidations() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.invalidations;
}

std::vector<DrawnText> WindowModel::drawnTexts() const
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [key, w] : r.windows)
        if (w.parent == nullptr)
            return w.picture;
    return {};
}

void WindowModel::setEcho(bool on)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    r.echo = on;
}

bool WindowModel::waitFor(const std::function<bool(const WindowModel&)>& cond,
                          std::chrono::milliseconds timeout) const
{
    Registry& r = lf_registry();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(r.mutex);
    while (true) {
        const std::uint64_t seen = r.version;
        lock.unlock();
        if (cond(*this))  // cond reads the model, which takes the mutex itself
            return true;
        lock.lock();
        if (!r.changed.wait_until(lock, deadline, [&] { return r.version != seen; }))
            return false;
    }
}

int WindowModel::timerPeriodDepth() const
{
    return g_timerPeriodDepth.load();
}

void WindowModel::reset()
{
    {
        Registry& r = lf_registry();
        std::lock_guard lock(r.mutex);
        r.classes.clear();
        r.windows.clear();
        r.statusLine.clear();
        r.errorLine.clear();
        r.statusEchoed.clear();
        r.errorEchoed.clear();
        r.statusHistory.clear();
        r.errorHistory.clear();
        r.painted.clear();
        r.invalidations = 0;
        r.focus = nullptr;
        lf_changed(r);
    }
    gf_clearQueue();
    g_timerPeriodDepth = 0;
}

}  // namespace win32

// ---- user32 --------------------------------------------------------------------------------------

using namespace win32;

ATOM RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || !wc->lpszClassName) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    r.classes[gf_wideToUtf8(wc->lpszClassName)] = wc->lpfnWndProc;
    return static_cast<ATOM>(r.classes.size());
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE, void*)
{
    Registry& r = lf_registry();
    HWND hwnd = nullptr;
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(r.mutex);
        if (parent != nullptr && !lf_find(r, parent)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        Window w;
        w.parent = parent;
        w.state.className = gf_wideToUtf8(className);
        w.state.text = gf_wideToUtf8(windowName);
        w.state.style = style;
        w.state.exStyle = exStyle;
        w.state.id = parent ? static_cast<int>(reinterpret_cast<std::intptr_t>(menu)) : 0;
        w.place = RECT{x, y, x + width, y + height};
        auto cls = r.classes.find(w.state.className);
        w.proc = cls == r.classes.end() ? nullptr : cls->second;
        hwnd = reinterpret_cast<HWND>(r.nextHandle);
        r.nextHandle += 0x10;
        w.state.hwnd = hwnd;
        proc = w.proc;
        r.windows.emplace(lf_key(hwnd), std::move(w));
        lf_changed(r);
    }
    if (proc)
        proc(hwnd, WM_CREATE, 0, 0);
    return hwnd;
}

BOOL DestroyWindow(HWND hWnd)
{
    Registry& r = lf_registry();
    WNDPROC proc = nullptr;
    bool focusInside = false;
    {
        std::lock_guard lock(r.mutex);
        Window* w = lf_find(r, hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        proc = w->proc;
        Window* focused = r.focus ? lf_find(r, r.focus) : nullptr;
        focusInside = r.focus == hWnd || (focused && focused->parent == hWnd);
    }
    // As on Windows, the focus leaves before the window goes: an edit box tells its parent.
    if (focusInside)
        SetFocus(nullptr);
    if (proc)
        proc(hWnd, WM_DESTROY, 0, 0);
    std::lock_guard lock(r.mutex);
    // The window and its controls go; the status area's lines stay readable for tests.
    std::erase_if(r.windows, [&](const auto& kv) { return kv.first == lf_key(hWnd) || kv.second.parent == hWnd; });
    lf_changed(r);
    return TRUE;
}

BOOL ShowWindow(HWND hWnd, int cmdShow)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w)
        return FALSE;
    if (cmdShow == SW_MINIMIZE)
        w->iconic = true;
    else if (cmdShow == SW_RESTORE || cmdShow == SW_SHOWNORMAL)
        w->iconic = false;
    lf_changed(r);
    return TRUE;
}

BOOL IsIconic(HWND hWnd)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return w && w->iconic ? TRUE : FALSE;
}

BOOL IsWindow(HWND hWnd)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return hWnd && lf_find(r, hWnd) ? TRUE : FALSE;
}

// Paints a waiting repaint at once, as Windows does.
BOOL UpdateWindow(HWND hWnd)
{
    WNDPROC proc = gf_windowProcOf(hWnd);
    if (!IsWindow(hWnd))
        return FALSE;
    if (proc && gf_takePaint(hWnd))
        proc(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD)
{
    return rect ? TRUE : FALSE;  // no frame
}

BOOL GetWindowRect(HWND hWnd, RECT* rect)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w || !rect)
        return FALSE;
    if (w->iconic) {
        *rect = RECT{-32000, -32000, -32000 + 160, -32000 + 28};
        return TRUE;
    }
    const POINT origin = lf_clientOrigin(r, w->parent);
    *rect = RECT{origin.x + w->place.left, origin.y + w->place.top, origin.x + w->place.right,
                 origin.y + w->place.bottom};
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* rect)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w || !rect)
        return FALSE;
    *rect = RECT{0, 0, w->place.right - w->place.left, w->place.bottom - w->place.top};
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w)
        return FALSE;
    w->place = RECT{x, y, x + width, y + height};
    lf_changed(r);
    return TRUE;
}

BOOL GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* placement)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w || !placement)
        return FALSE;
    placement->flags = 0;
    placement->showCmd = w->iconic ? 2 : SW_SHOWNORMAL;  // SW_SHOWMINIMIZED
    placement->ptMinPosition = POINT{-1, -1};
    placement->ptMaxPosition = POINT{-1, -1};
    placement->rcNormalPosition = w->place;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    const POINT a = lf_clientOrigin(r, from);
    const POINT b = lf_clientOrigin(r, to);
    const LONG dx = a.x - b.x;
    const LONG dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return static_cast<int>((static_cast<std::uint32_t>(dy & 0xFFFF) << 16) | static_cast<std::uint32_t>(dx & 0xFFFF));
}

std::intptr_t GetWindowLongPtrW(HWND hWnd, int index)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w)
        return 0;
    const DWORD value = index == GWL_STYLE ? w->state.style : index == GWL_EXSTYLE ? w->state.exStyle : 0;
    return static_cast<std::intptr_t>(value);
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD)
{
    static int screen = 0;
    const bool on = rect && rect->left < 1920 && rect->right > 0 && rect->top < 1080 && rect->bottom > 0;
    return on ? &screen : nullptr;
}

HWND SetFocus(HWND hWnd)
{
    Registry& r = lf_registry();
    HWND previous = nullptr;
    Notification left, entered;
    {
        std::lock_guard lock(r.mutex);
        if (hWnd && !lf_find(r, hWnd))
            return nullptr;
        previous = r.focus;
        if (previous == hWnd)
            return previous;
        r.focus = hWnd;
        left = lf_editNotification(r, previous, EN_KILLFOCUS);
        entered = lf_editNotification(r, hWnd, EN_SETFOCUS);
        lf_changed(r);
    }
    left.send();
    entered.send();
    return previous;
}

HWND GetFocus()
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    return r.focus;
}

BOOL IsDialogMessageW(HWND hDlg, MSG* msg)
{
    if (!msg || msg->message != WM_KEYDOWN || (msg->wParam != VK_TAB && msg->wParam != VK_RETURN))
        return FALSE;
    Registry& r = lf_registry();
    HWND next = nullptr;
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(r.mutex);
        Window* dialog = lf_find(r, hDlg);
        Window* target = lf_find(r, msg->hwnd);
        if (!dialog || !target || (msg->hwnd != hDlg && target->parent != hDlg))
            return FALSE;
        proc = dialog->proc;
        if (msg->wParam == VK_TAB) {
            // The tab stops in creation order, starting after the focused one and wrapping round.
            std::vector<HWND> stops;
            std::size_t after = 0;
            for (const auto& [key, w] : r.windows) {
                if (w.state.hwnd == r.focus)
                    after = stops.size();
                if (w.parent == hDlg && w.state.enabled && (w.state.style & WS_TABSTOP) != 0)
                    stops.push_back(w.state.hwnd);
            }
            for (std::size_t i = 0; i < stops.size() && next == nullptr; ++i) {
                HWND stop = stops[(after + i) % stops.size()];
                if (stop != r.focus)
                    next = stop;
            }
        }
    }
    if (msg->wParam == VK_TAB) {
        if (next)
            SetFocus(next);
    } else if (proc) {
        proc(hDlg, WM_COMMAND, static_cast<WPARAM>(IDOK), 0);
    }
    return TRUE;
}

LRESULT DefWindowProcW(HWND hWnd, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_CLOSE)
        DestroyWindow(hWnd);
    return 0;
}

HWND GetDlgItem(HWND hDlg, int controlId)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_child(r, hDlg, controlId);
    return w ? w->state.hwnd : nullptr;
}

int GetDlgCtrlID(HWND hWnd)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return w ? w->state.id : 0;
}

BOOL EnableWindow(HWND hWnd, BOOL enable)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w)
        return FALSE;
    const bool wasDisabled = !w->state.enabled;
    w->state.enabled = enable != FALSE;
    lf_changed(r);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hWnd)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return w && w->state.enabled ? TRUE : FALSE;
}

BOOL GetUpdateRect(HWND hWnd, RECT* rect, BOOL)
{
    if (!gf_paintPending(hWnd))
        return FALSE;
    if (rect)
        GetClientRect(hWnd, rect);
    return TRUE;
}

HDC BeginPaint(HWND hWnd, PAINTSTRUCT* paint)
{
    Registry& r = lf_registry();
    {
        std::lock_guard lock(r.mutex);
        Window* w = lf_find(r, hWnd);
        if (!w)
            return nullptr;
        w->picture.clear();
        w->textColour = 0;
    }
    gf_takePaint(hWnd);
    HDC dc = reinterpret_cast<HDC>(hWnd);  // a window's device context is the window itself here
    if (paint) {
        *paint = PAINTSTRUCT{};
        paint->hdc = dc;
        paint->fErase = TRUE;
        GetClientRect(hWnd, &paint->rcPaint);
    }
    return dc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT*)
{
    gf_notifyModelChanged();
    return IsWindow(hWnd);
}

int SetBkMode(HDC, int mode)
{
    return mode;
}

COLORREF SetTextColor(HDC dc, COLORREF colour)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, reinterpret_cast<HWND>(dc));
    if (!w)
        return 0xFFFFFFFF;  // CLR_INVALID
    const COLORREF previous = w->textColour;
    w->textColour = colour;
    return previous;
}

HGDIOBJ GetStockObject(int object)
{
    return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(0x8000 + object));
}

HGDIOBJ SelectObject(HDC, HGDIOBJ)
{
    return nullptr;
}

DWORD GetSysColor(int index)
{
    return index == COLOR_BTNFACE ? RGB(240, 240, 240) : RGB(0, 0, 0);
}

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* box, UINT)
{
    if (!text || !box)
        return 0;
    const std::wstring wide = count < 0 ? std::wstring(text) : std::wstring(text, static_cast<std::size_t>(count));
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, reinterpret_cast<HWND>(dc));
    if (!w)
        return 0;
    w->picture.push_back(DrawnText{box->left, box->top, box->right, box->bottom, gf_wideToUtf8(wide.c_str()),
                                   w->textColour});
    return box->bottom - box->top;
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    Registry& r = lf_registry();
    bool post = false;
    {
        std::lock_guard lock(r.mutex);
        ++r.invalidations;
        Window* w = hWnd ? lf_find(r, hWnd) : nullptr;
        post = w && w->proc;
        lf_changed(r);
    }
    if (post)
        gf_postPaintOnce(hWnd);
    return TRUE;
}

BOOL CheckDlgButton(HWND hDlg, int buttonId, UINT check)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_child(r, hDlg, buttonId);
    if (!w) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w->state.checked = check == BST_CHECKED;
    lf_changed(r);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int buttonId)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_child(r, hDlg, buttonId);
    return w && w->state.checked ? BST_CHECKED : BST_UNCHECKED;
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR text)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w->state.text = gf_wideToUtf8(text);
    lf_changed(r);
    return TRUE;
}

namespace {

// Copies text into a caller's buffer of maxCount characters, always terminated; the count copied.
int lf_copyOut(const std::string& utf8, LPWSTR buffer, int maxCount)
{
    if (!buffer || maxCount <= 0)
        return 0;
    const std::wstring wide = gf_utf8ToWide(utf8);
    const std::size_t n = std::min(wide.size(), static_cast<std::size_t>(maxCount - 1));
    wide.copy(buffer, n);
    buffer[n] = L'\0';
    return static_cast<int>(n);
}

}  // namespace

int GetWindowTextW(HWND hWnd, LPWSTR buffer, int maxCount)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return lf_copyOut(w ? w->state.text : std::string(), buffer, maxCount);
}

int GetClassNameW(HWND hWnd, LPWSTR className, int maxCount)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_find(r, hWnd);
    return w ? lf_copyOut(w->state.className, className, maxCount) : 0;
}

BOOL SetDlgItemTextW(HWND hDlg, int controlId, LPCWSTR text)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_child(r, hDlg, controlId);
    if (!w) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w->state.text = gf_wideToUtf8(text);
    lf_changed(r);
    return TRUE;
}

UINT GetDlgItemTextW(HWND hDlg, int controlId, LPWSTR buffer, int maxCount)
{
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    Window* w = lf_child(r, hDlg, controlId);
    return static_cast<UINT>(lf_copyOut(w ? w->state.text : std::string(), buffer, maxCount));
}

LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Registry& r = lf_registry();
    WNDPROC proc = nullptr;
    Notification clicked;
    {
        std::lock_guard lock(r.mutex);
        Window* w = lf_find(r, hWnd);
        if (!w)
            return 0;
        switch (msg) {
        case BM_CLICK: {
            Window* parent = w->parent ? lf_find(r, w->parent) : nullptr;
            if (!parent || !w->state.enabled || w->state.className != "BUTTON")
                return 0;
            if ((w->state.style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
                w->state.checked = !w->state.checked;
            lf_changed(r);
            clicked = {parent->proc, w->parent, static_cast<WPARAM>(static_cast<WORD>(w->state.id)), hWnd};
            break;
        }
        case BM_SETCHECK:
            w->state.checked = wParam == BST_CHECKED;
            lf_changed(r);
            return 0;
        case BM_GETCHECK:
            return w->state.checked ? BST_CHECKED : BST_UNCHECKED;
        case WM_SETTEXT:
            w->state.text = gf_wideToUtf8(reinterpret_cast<LPCWSTR>(lParam));
            lf_changed(r);
            return TRUE;
        case WM_GETTEXT:
            return lf_copyOut(w->state.text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
        default:
            proc = w->proc;
        }
    }
    if (msg == BM_CLICK) {
        clicked.send();
        return 0;
    }
    return proc ? proc(hWnd, msg, wParam, lParam) : 0;
}

#endif  // _WIN32

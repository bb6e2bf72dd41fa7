// The Win32, shell and winmm calls Tavix makes, with their Windows names and signatures. On
// Windows they come from <windows.h>, <shlobj.h> and <mmsystem.h>; elsewhere this layer answers them
// headless: windows and controls live in the window model (window_model.h), posted messages go to
// one process-wide queue that the entry point pumps, the named mutex is a file lock a second
// process cannot take, and the application-data folders come from the environment.
//
// Callable from any thread. The message queue is the window thread's: GetMessageW and
// PeekMessageW take messages posted from any thread; DispatchMessageW calls the window procedure on
// the calling thread.
#pragma once

#include "win32/win_types.h"

#ifdef _WIN32
#include <mmsystem.h>
#include <shlobj.h>
#else

#include <cstddef>
#include <cstdint>

// ---- basic types -----------------------------------------------------------------------------
using WCHAR = wchar_t;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using HINSTANCE = void*;
using HMENU = void*;
using MMRESULT = UINT;

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct WINDOWPLACEMENT {
    UINT length;
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HANDLE hIcon;
    HANDLE hCursor;
    HANDLE hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HANDLE hIconSm;
};
using ATOM = WORD;

// ---- messages --------------------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_PRINTCLIENT = 0x0318;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
constexpr UINT QS_ALLINPUT = 0x04FF;
constexpr DWORD WAIT_TIMEOUT = 258;

// ---- notifications and styles ----------------------------------------------------------------
constexpr int IDOK = 1;  // Enter in a control, from the dialog manager
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WORD BN_CLICKED = 0;
constexpr WORD EN_SETFOCUS = 0x0100;
constexpr WORD EN_KILLFOCUS = 0x0200;
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD BS_PUSHBUTTON = 0x00000000;
constexpr DWORD BS_AUTOCHECKBOX = 0x00000003;
constexpr DWORD BS_TYPEMASK = 0x0000000F;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_CENTERIMAGE = 0x0200;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

// ---- errors ----------------------------------------------------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
DWORD GetLastError();
void SetLastError(DWORD error);

// ---- windows and controls (headless: window_model.h) ------------------------------------------
ATOM RegisterClassExW(const WNDCLASSEXW* wc);
// A child (parent set) takes its control id from hMenu, as in Win32.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND hWnd);
// SW_MINIMIZE makes the window iconic, SW_RESTORE and SW_SHOWNORMAL undo it; the result tells
// whether the window was visible before (headless windows always are).
BOOL ShowWindow(HWND hWnd, int cmdShow);
BOOL IsIconic(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL UpdateWindow(HWND hWnd);
// Geometry. A top-level window has no frame here: its client area is its window rectangle, and an
// iconic one lies at (-32000, -32000) as on Windows, keeping its normal rectangle in the placement.
// A child's position is relative to its parent's client area.
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
BOOL GetWindowRect(HWND hWnd, RECT* rect);
BOOL GetClientRect(HWND hWnd, RECT* rect);
BOOL MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* placement);
// Screen to client coordinates and back (a null window is the screen); the offset added.
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
int GetClassNameW(HWND hWnd, LPWSTR className, int maxCount);
// The screen: one monitor of 1920 by 1080 pixels at (0, 0). Null (with MONITOR_DEFAULTTONULL) for a
// rectangle wholly off it.
using HMONITOR = void*;
constexpr DWORD MONITOR_DEFAULTTONULL = 0;
HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
std::intptr_t GetWindowLongPtrW(HWND hWnd, int index);  // GWL_STYLE and GWL_EXSTYLE
// Keyboard focus: moving it away from an edit box sends its parent WM_COMMAND EN_KILLFOCUS, onto
// one EN_SETFOCUS, as Windows does. Returns the control that had it.
HWND SetFocus(HWND hWnd);
HWND GetFocus();
// The dialog manager's keys for a window's controls: Tab (WM_KEYDOWN VK_TAB) moves the focus to the
// next enabled WS_TABSTOP control in creation order, Enter (VK_RETURN) sends the window WM_COMMAND
// IDOK; TRUE when the key was taken. Other messages are left to the caller (FALSE).
BOOL IsDialogMessageW(HWND hDlg, MSG* msg);
LRESULT DefWindowProcW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
HWND GetDlgItem(HWND hDlg, int controlId);
int GetDlgCtrlID(HWND hWnd);
BOOL EnableWindow(HWND hWnd, BOOL enable);   // returns TRUE when the window was disabled before
BOOL IsWindowEnabled(HWND hWnd);
// Marks the window (null rect: all of it) for repainting; headless it counts the request and
// posts one WM_PAINT when none is waiting.
BOOL InvalidateRect(HWND hWnd, const RECT* rect, BOOL erase);
BOOL CheckDlgButton(HWND hDlg, int buttonId, UINT check);
UINT IsDlgButtonChecked(HWND hDlg, int buttonId);
BOOL SetWindowTextW(HWND hWnd, LPCWSTR text);
int GetWindowTextW(HWND hWnd, LPWSTR buffer, int maxCount);
BOOL SetDlgItemTextW(HWND hDlg, int controlId, LPCWSTR text);
UINT GetDlgItemTextW(HWND hDlg, int controlId, LPWSTR buffer, int maxCount);
// Handles BM_SETCHECK, BM_GETCHECK, BM_CLICK, WM_SETTEXT and WM_GETTEXT on controls; anything else
// goes to the window procedure of the window's class, when it has one. BM_CLICK on an enabled
// button toggles an automatic check box and sends its parent WM_COMMAND BN_CLICKED.
LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- gdi32: the text a window paints -----------------------------------------------------------
// Enough for a window that paints lines of text: BeginPaint gives the window's own device context,
// which starts an empty picture and takes the paint request; DrawTextW adds the text, its box and
// the current text colour to the picture, which the window model keeps (WindowModel::drawnTexts).
using COLORREF = DWORD;
constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
struct HDC__;
using HDC = HDC__*;
using HGDIOBJ = void*;
struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
constexpr int TRANSPARENT = 1;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;
HDC BeginPaint(HWND hWnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* paint);
// TRUE (and the client rectangle) while a repaint is asked for and not yet painted.
BOOL GetUpdateRect(HWND hWnd, RECT* rect, BOOL erase);
int SetBkMode(HDC dc, int mode);
COLORREF SetTextColor(HDC dc, COLORREF colour);
HGDIOBJ GetStockObject(int object);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
DWORD GetSysColor(int index);  // Windows' classic defaults
int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* box, UINT format);

// ---- message queue ---------------------------------------------------------------------------
BOOL PostMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Blocks until a message arrives; 0 for WM_QUIT, else nonzero.
BOOL GetMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// Waits for a message (no handles here): 0 when one is queued, WAIT_TIMEOUT after the wait.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask);

// ---- kernel32: named mutex -------------------------------------------------------------------
// Off Windows the name maps to a lock file in $XDG_RUNTIME_DIR (else the temp folder); when another
// process, or another handle of this process, holds it, the handle is returned with
// GetLastError() == ERROR_ALREADY_EXISTS and does not own the lock. Null with an error when the
// lock file cannot be opened.
HANDLE CreateMutexW(void* attributes, BOOL initialOwner, LPCWSTR name);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE handle);

// ---- shell32: folders ------------------------------------------------------------------------
constexpr int CSIDL_APPDATA = 0x001a;        // roaming: TAVIX_ROAMING_DIR, else $XDG_CONFIG_HOME
constexpr int CSIDL_LOCAL_APPDATA = 0x001c;  // local: TAVIX_LOCAL_DIR, else $XDG_DATA_HOME
constexpr int CSIDL_FLAG_CREATE = 0x8000;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
// path receives at most MAX_PATH characters including the terminator. E_FAIL for an unknown
// folder, an unset home or a path too long.
HRESULT SHGetFolderPathW(HWND hWnd, int csidl, HANDLE token, DWORD flags, LPWSTR path);

// ---- winmm: timer resolution -----------------------------------------------------------------
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;
MMRESULT timeBeginPeriod(UINT periodMs);
MMRESULT timeEndPeriod(UINT periodMs);  // TIMERR_NOCANDO without a matching begin

#endif  // _WIN32

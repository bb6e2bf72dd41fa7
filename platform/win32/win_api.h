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
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

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
BOOL ShowWindow(HWND hWnd, int cmdShow);
BOOL UpdateWindow(HWND hWnd);
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
// Handles BM_SETCHECK, BM_GETCHECK, WM_SETTEXT and WM_GETTEXT on controls; anything else goes to
// the window procedure of the window's class, when it has one.
LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- message queue ---------------------------------------------------------------------------
BOOL PostMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Blocks until a message arrives; 0 for WM_QUIT, else nonzero.
BOOL GetMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);

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

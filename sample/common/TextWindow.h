// The one kind of window the sample programs show: a resizable top-level
// window whose client area is a read-only, scrollable text.
#pragma once

#include <windows.h>

constexpr int kTextControlId = 100;

inline HWND CreateReadOnlyText(HWND parent, const char* text) {
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", text,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                0, 0, 0, 0, parent, reinterpret_cast<HMENU>(kTextControlId),
                                GetModuleHandleA(nullptr), nullptr);
    if (edit != nullptr)
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)),
                     FALSE);
    return edit;
}

// Registers the class with the program's icon (resource 1) and creates the
// window, not yet shown.
inline HWND CreateMainWindow(HINSTANCE instance, const char* className, const char* caption,
                             WNDPROC procedure) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    if (RegisterClassExA(&wc) == 0) return nullptr;
    return CreateWindowExA(0, className, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           640, 420, nullptr, nullptr, instance, nullptr);
}

inline int RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// Quorvath.exe, the sample product's main program. With a query file (.qvq)
// as its argument it shows the file's name, its title and its text; without
// one it lists the sample queries that the registry's "Openlist" key names,
// and a double-click on one opens it.
#include <windows.h>

#include "ScopedWin32.h"
#include "TextBuffer.h"
#include "TextWindow.h"

namespace {

constexpr char kClassName[] = "QuorvathWnd";
constexpr char kOpenlistKey[] = "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist";
constexpr int kListControlId = 101;
// Query files are small; anything larger is shown cut at this size.
constexpr DWORD kMaxQueryBytes = 64 * 1024;

HWND content = nullptr; // the edit or list box that fills the window

// The program's one argument. A quoted argument ends at its closing quote; an
// unquoted one is the rest of the line, since an association whose "%1" is
// not quoted hands over a path with blanks as several words.
void QueryArgument(char* out, DWORD size) {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    const char* end;
    if (*p == '"') {
        ++p;
        end = p;
        while (*end != '\0' && *end != '"') ++end;
    } else {
        end = p + lstrlenA(p);
        while (end > p && (end[-1] == ' ' || end[-1] == '\t')) --end;
    }
    DWORD n = static_cast<DWORD>(end - p);
    if (n >= size) n = 0; // a path that cannot fit is no path
    CopyMemory(out, p, n);
    out[n] = '\0';
}

const char* NameOfPath(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

// The value of the first "title:" line, blanks trimmed, into out.
void FindTitle(const char* text, DWORD length, TextBuffer& out) {
    DWORD i = 0;
    while (i < length) {
        DWORD lineEnd = i;
        while (lineEnd < length && text[lineEnd] != '\n' && text[lineEnd] != '\r') ++lineEnd;
        DWORD j = i;
        while (j < lineEnd && (text[j] == ' ' || text[j] == '\t')) ++j;
        if (lineEnd - j >= 6 && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text + j, 6,
                                               "title:", 6) == CSTR_EQUAL) {
            j += 6;
            while (j < lineEnd && (text[j] == ' ' || text[j] == '\t')) ++j;
            DWORD k = lineEnd;
            while (k > j && (text[k - 1] == ' ' || text[k - 1] == '\t')) --k;
            out.append(text + j, k - j);
            return;
        }
        i = lineEnd + 1;
    }
}

void BuildQueryText(const char* path, TextBuffer& text) {
    text.append("Query file: ");
    text.append(path);
    text.append("\r\n");
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        text.append("\r\nThe query file cannot be opened.\r\n");
        return;
    }
    DWORD size = GetFileSize(file.get(), nullptr);
    DWORD wanted = size > kMaxQueryBytes ? kMaxQueryBytes : size;
    HANDLE heap = GetProcessHeap();
    char* bytes = static_cast<char*>(HeapAlloc(heap, 0, wanted + 1));
    DWORD got = 0;
    if (bytes == nullptr || !ReadFile(file.get(), bytes, wanted, &got, nullptr)) {
        text.append("\r\nThe query file cannot be read.\r\n");
    } else {
        TextBuffer title;
        FindTitle(bytes, got, title);
        if (title.length() > 0) {
            text.append("Title: ");
            text.append(title.c_str());
            text.append("\r\n");
        }
        text.append("\r\n");
        AppendWithCrLf(text, bytes, got);
        if (size > got) text.append("\r\n[... the rest of the file is not shown]\r\n");
    }
    if (bytes != nullptr) HeapFree(heap, 0, bytes);
}

void FitContent(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    if (content != nullptr) MoveWindow(content, 0, 0, r.right, r.bottom, TRUE);
}

void ShowQuery(HWND window, const char* path) {
    TextBuffer text;
    BuildQueryText(path, text);
    if (content != nullptr) DestroyWindow(content);
    content = CreateReadOnlyText(window, text.c_str());
    TextBuffer caption;
    caption.append("Quorvath - ");
    caption.append(NameOfPath(path));
    SetWindowTextA(window, caption.c_str());
    FitContent(window);
}

// One list entry per REG_SZ value under Openlist, in the key's own order
// (the installer writes them as 00, 01, 02).
void ShowOpenlist(HWND window) {
    content = CreateWindowExA(
        WS_EX_CLIENTEDGE, "LISTBOX", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0, window,
        reinterpret_cast<HMENU>(kListControlId), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(content, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    int added = 0;
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOpenlistKey, 0, KEY_READ, key.receive()) ==
        ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[64];
            char data[MAX_PATH + 1];
            DWORD nameSize = sizeof name;
            DWORD dataSize = sizeof data - 1;
            DWORD type = 0;
            LONG rc = RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS || type != REG_SZ || dataSize == 0) continue;
            data[dataSize] = '\0';
            SendMessageA(content, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(data));
            ++added;
        }
    }
    SetWindowTextA(window, added > 0 ? "Quorvath - Sample queries (double-click one to open it)"
                                     : "Quorvath - No sample queries are registered");
    FitContent(window);
}

void OpenSelectedQuery(HWND window) {
    LRESULT index = SendMessageA(content, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return;
    LRESULT length = SendMessageA(content, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length > MAX_PATH) return;
    char path[MAX_PATH + 1];
    SendMessageA(content, LB_GETTEXT, index, reinterpret_cast<LPARAM>(path));
    ShowQuery(window, path);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: FitContent(window); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kListControlId && HIWORD(wParam) == LBN_DBLCLK) {
            OpenSelectedQuery(window);
            return 0;
        }
        break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HWND window = CreateMainWindow(instance, kClassName, "Quorvath", MainProc);
    if (window == nullptr) return 1;
    char query[MAX_PATH + 1];
    QueryArgument(query, sizeof query);
    if (query[0] != '\0')
        ShowQuery(window, query);
    else
        ShowOpenlist(window);
    ShowWindow(window, show);
    UpdateWindow(window);
    return RunMessageLoop();
}

// tolvane.exe, the browser finder. It looks for web browsers where Windows
// registers them (the StartMenuInternet clients of the machine and of the
// user, and the program that opens "http" links), shows what it found, and
// appends one line to "tolvane.log" beside itself on every start.
#include <windows.h>

#include "ScopedWin32.h"
#include "TextBuffer.h"
#include "TextWindow.h"

namespace {

constexpr char kClassName[] = "TolvaneWnd";
constexpr char kClientsKey[] = "SOFTWARE\\Clients\\StartMenuInternet";

// The default value of root\path as text; false when it is absent or not text.
bool ReadDefaultText(HKEY root, const char* path, char* out, DWORD size) {
    ScopedRegKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD bytes = size - 1;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out),
                         &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0)
        return false;
    out[bytes] = '\0';
    return true;
}

// Lists each client below root's StartMenuInternet key: its name and the
// command that starts it. Answers how many it listed.
int ListClients(HKEY root, const char* rootName, TextBuffer& text) {
    ScopedRegKey clients;
    if (RegOpenKeyExA(root, kClientsKey, 0, KEY_READ, clients.receive()) != ERROR_SUCCESS) return 0;
    int found = 0;
    for (DWORD index = 0;; ++index) {
        char client[256];
        DWORD clientSize = sizeof client;
        LONG rc = RegEnumKeyExA(clients.get(), index, client, &clientSize, nullptr, nullptr,
                                nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        char path[600];
        char name[512];
        char command[1024];
        wsprintfA(path, "%s\\%s", kClientsKey, client);
        if (!ReadDefaultText(root, path, name, sizeof name)) lstrcpynA(name, client, sizeof name);
        wsprintfA(path, "%s\\%s\\shell\\open\\command", kClientsKey, client);
        if (!ReadDefaultText(root, path, command, sizeof command))
            lstrcpyA(command, "(no start command registered)");
        text.append("  ");
        text.append(name);
        text.append("  [");
        text.append(rootName);
        text.append("]\r\n    ");
        text.append(command);
        text.append("\r\n");
        ++found;
    }
    return found;
}

// Answers how many browsers it listed.
int FindBrowsers(TextBuffer& text) {
    text.append("Web browsers registered on this computer:\r\n\r\n");
    int found = ListClients(HKEY_LOCAL_MACHINE, "all users", text);
    found += ListClients(HKEY_CURRENT_USER, "this user", text);
    if (found == 0) text.append("  (none)\r\n");
    text.append("\r\nProgram that opens web links (http):\r\n\r\n  ");
    char command[1024];
    if (ReadDefaultText(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", command, sizeof command)) {
        text.append(command);
    } else {
        text.append("(none)");
    }
    text.append("\r\n\r\nQuorvath works with every browser listed here.\r\n");
    return found;
}

// One line per start, so that whoever installed or tests the product can
// see that the tool ran. A log that cannot be written is no reason to stop.
void AppendLogLine(int found) {
    char path[MAX_PATH];
    if (!OwnDirectory(path, MAX_PATH - 12)) return;
    lstrcatA(path, "\\tolvane.log");
    ScopedHandle log(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[128];
    int n = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u tolvane started, %d browsers found\r\n",
                      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, found);
    DWORD written = 0;
    WriteFile(log.get(), line, static_cast<DWORD>(n), &written, nullptr);
}

HWND text = nullptr;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: MoveWindow(text, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    TextBuffer found;
    AppendLogLine(FindBrowsers(found));
    HWND window = CreateMainWindow(instance, kClassName, "QVR-compatible Browsers", MainProc);
    if (window == nullptr) return 1;
    text = CreateReadOnlyText(window, found.c_str());
    RECT r;
    GetClientRect(window, &r);
    MoveWindow(text, 0, 0, r.right, r.bottom, FALSE);
    ShowWindow(window, show);
    UpdateWindow(window);
    return RunMessageLoop();
}

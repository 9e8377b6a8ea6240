// Answers dialogs of the process under test the way a person would: a
// second thread finds each top-level #32770 window of this process, records
// its caption, text and buttons, and presses a button with BM_CLICK.
//
//   MessageBoxDriver driver({IDNO});          // answers the first box No, then OK
//   RunSomethingThatShowsMessageBoxes();
//   auto boxes = driver.Stop();               // every box seen, in order
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

struct SeenDialog {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text; // the message box text (static 65535), empty for other dialogs
    bool hasOk = false, hasYes = false, hasNo = false, hasCancel = false;
    UINT icon = 0; // MB_ICONERROR, MB_ICONQUESTION, ... when recognised, else 0
    int pressed = 0;
};

inline std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

inline std::string DialogItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? WindowText(item) : std::string();
}

// BM_CLICK is sent, so it has run on the dialog's thread when this returns.
inline void ClickDialogButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button != nullptr) SendMessageA(button, BM_CLICK, 0, 0);
}

// The standard icon a message box shows; the shared system icons have the
// same handle in every caller of the process.
inline UINT MessageBoxIcon(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (icon == nullptr) continue;
        if (icon == LoadIconA(nullptr, IDI_HAND)) return MB_ICONERROR;
        if (icon == LoadIconA(nullptr, IDI_QUESTION)) return MB_ICONQUESTION;
        if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return MB_ICONWARNING;
        if (icon == LoadIconA(nullptr, IDI_ASTERISK)) return MB_ICONINFORMATION;
    }
    return 0;
}

inline SeenDialog DescribeDialog(HWND dialog) {
    SeenDialog seen;
    seen.window = dialog;
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.caption = WindowText(dialog);
    seen.text = DialogItemText(dialog, kMessageBoxTextId);
    seen.hasOk = GetDlgItem(dialog, IDOK) != nullptr;
    seen.hasYes = GetDlgItem(dialog, IDYES) != nullptr;
    seen.hasNo = GetDlgItem(dialog, IDNO) != nullptr;
    seen.hasCancel = GetDlgItem(dialog, IDCANCEL) != nullptr;
    seen.icon = MessageBoxIcon(dialog);
    return seen;
}

class MessageBoxDriver {
public:
    // Chooses the button for a dialog; 0 leaves it to the default rule.
    using Answer = std::function<int(const SeenDialog&)>;

    // Answers the dialogs in turn with the listed buttons; later ones get
    // IDOK (or IDCANCEL when there is no OK button).
    explicit MessageBoxDriver(std::vector<int> buttons = {})
        : MessageBoxDriver(QueueAnswer(std::move(buttons))) {}
    explicit MessageBoxDriver(Answer answer, std::vector<std::string> captions = {})
        : answer_(std::move(answer)), captions_(std::move(captions)), thread_([this] { Run(); }) {}
    ~MessageBoxDriver() { Stop(); }
    MessageBoxDriver(const MessageBoxDriver&) = delete;
    MessageBoxDriver& operator=(const MessageBoxDriver&) = delete;

    // Ends the thread and hands back what it saw.
    std::vector<SeenDialog> Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return Seen();
    }
    std::vector<SeenDialog> Seen() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    // Waits until count dialogs have been answered.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (Seen().size() >= count) return true;
            Sleep(10);
        }
        return false;
    }

private:
    static Answer QueueAnswer(std::vector<int> buttons) {
        auto next = std::make_shared<size_t>(0);
        return [buttons = std::move(buttons), next](const SeenDialog&) {
            return *next < buttons.size() ? buttons[(*next)++] : 0;
        };
    }

    bool Wanted(HWND window) const {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return false;
        if (captions_.empty()) return true;
        std::string caption = WindowText(window);
        for (const std::string& wanted : captions_)
            if (caption == wanted) return true;
        return false;
    }

    HWND FindDialog() const {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr)
            if (Wanted(window)) return window;
        return nullptr;
    }

    void Run() {
        while (!stop_) {
            HWND dialog = FindDialog();
            if (dialog == nullptr) {
                Sleep(10);
                continue;
            }
            Sleep(50); // let the dialog finish its WM_INITDIALOG
            SeenDialog seen = DescribeDialog(dialog);
            int button = answer_(seen);
            if (button == 0) button = seen.hasOk ? IDOK : IDCANCEL;
            seen.pressed = button;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(seen);
            }
            ClickDialogButton(dialog, button);
            for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(10);
        }
    }

    Answer answer_;
    std::vector<std::string> captions_;
    mutable std::mutex mutex_;
    std::vector<SeenDialog> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

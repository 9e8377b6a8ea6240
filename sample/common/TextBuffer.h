// A growable ANSI text on the process heap. The sample programs avoid the
// standard library's containers: statically linked, they add about 240 KiB
// to each program, and the payload is meant to stay a few tens of KiB.
#pragma once

#include <windows.h>

class TextBuffer {
public:
    TextBuffer() = default;
    ~TextBuffer() {
        if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
    }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Never null: an empty buffer reads as "".
    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    DWORD length() const { return length_; }
    bool failed() const { return failed_; }

    void append(const char* text, DWORD count) {
        if (count == 0 || !reserve(length_ + count)) return;
        CopyMemory(data_ + length_, text, count);
        length_ += count;
        data_[length_] = '\0';
    }
    void append(const char* text) { append(text, lstrlenA(text)); }
    void append(char c) { append(&c, 1); }
    void clear() {
        length_ = 0;
        if (data_ != nullptr) data_[0] = '\0';
    }

private:
    // Room for count characters and the terminator; false (and failed()) when
    // the heap refuses, so a huge input is cut short rather than overrun.
    bool reserve(DWORD count) {
        if (failed_ || count >= 0x10000000) {
            failed_ = true;
            return false;
        }
        if (count < capacity_) return true;
        DWORD wanted = capacity_ < 256 ? 256 : capacity_;
        while (wanted <= count) wanted *= 2;
        void* grown = data_ == nullptr ? HeapAlloc(GetProcessHeap(), 0, wanted)
                                       : HeapReAlloc(GetProcessHeap(), 0, data_, wanted);
        if (grown == nullptr) {
            failed_ = true;
            return false;
        }
        data_ = static_cast<char*>(grown);
        capacity_ = wanted;
        return true;
    }

    char* data_ = nullptr;
    DWORD length_ = 0;
    DWORD capacity_ = 0;
    bool failed_ = false;
};

// Appends text with every bare line feed turned into CR LF, as edit controls
// and message boxes want it.
inline void AppendWithCrLf(TextBuffer& out, const char* text, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.append('\r');
        if (text[i] != '\0') out.append(text[i]);
    }
}

// The directory of this program's own file, without a trailing backslash.
// Answers false when the path does not fit.
inline bool OwnDirectory(char* buffer, DWORD size) {
    DWORD n = GetModuleFileNameA(nullptr, buffer, size);
    if (n == 0 || n >= size) return false;
    while (n > 0 && buffer[n - 1] != '\\') --n;
    if (n == 0) return false;
    buffer[n - 1] = '\0';
    return true;
}

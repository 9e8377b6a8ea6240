// RAII owners for Win32 handles, registry keys, GDI objects, libraries and
// COM pointers. Each releases what it holds on every path; none is copyable.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

// A kernel handle closed with CloseHandle. Both INVALID_HANDLE_VALUE and null
// mean "none", since CreateFileA and the other creators disagree.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A handle of FindFirstFileA, closed with FindClose.
class ScopedFindHandle {
public:
    explicit ScopedFindHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedFindHandle() {
        if (valid()) FindClose(handle_);
    }
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// An open registry key, closed with RegCloseKey.
class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ~ScopedRegKey() { reset(); }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    HKEY get() const { return key_; }
    // For RegCreateKeyExA and friends: releases the old key first.
    HKEY* receive() {
        reset();
        return &key_;
    }
    void reset() {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// A GDI object (brush, pen, font, bitmap) deleted with DeleteObject.
template <typename T> class ScopedGdiObject {
public:
    explicit ScopedGdiObject(T object = nullptr) : object_(object) {}
    ~ScopedGdiObject() {
        if (object_ != nullptr) DeleteObject(object_);
    }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

    T get() const { return object_; }

private:
    T object_;
};

// An icon from LoadImageA or CreateIcon..., destroyed with DestroyIcon.
class ScopedIcon {
public:
    explicit ScopedIcon(HICON icon = nullptr) : icon_(icon) {}
    ~ScopedIcon() {
        if (icon_ != nullptr) DestroyIcon(icon_);
    }
    ScopedIcon(const ScopedIcon&) = delete;
    ScopedIcon& operator=(const ScopedIcon&) = delete;

    HICON get() const { return icon_; }

private:
    HICON icon_;
};

// A library from LoadLibraryA or LoadLibraryExA, freed with FreeLibrary.
class ScopedLibrary {
public:
    explicit ScopedLibrary(HMODULE module = nullptr) : module_(module) {}
    ~ScopedLibrary() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;

    HMODULE get() const { return module_; }
    HMODULE release() { return std::exchange(module_, nullptr); }

private:
    HMODULE module_;
};

// COM for the current thread. Uninitialises only after a successful
// initialise (S_OK or S_FALSE), as CoUninitialize must balance it.
class ScopedCoInit {
public:
    ScopedCoInit() : result_(CoInitialize(nullptr)) {}
    ~ScopedCoInit() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ScopedCoInit(const ScopedCoInit&) = delete;
    ScopedCoInit& operator=(const ScopedCoInit&) = delete;

    bool ok() const { return SUCCEEDED(result_); }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

// An owned COM interface pointer, released once.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For CoCreateInstance and QueryInterface: releases the old pointer first.
    void** receive() {
        reset();
        return reinterpret_cast<void**>(&ptr_);
    }
    void reset() {
        if (ptr_ != nullptr) ptr_->Release();
        ptr_ = nullptr;
    }

private:
    T* ptr_ = nullptr;
};

// A block from the shell's allocator (an item id list), freed with CoTaskMemFree.
template <typename T> class ScopedCoMem {
public:
    ScopedCoMem() = default;
    ~ScopedCoMem() { CoTaskMemFree(ptr_); }
    ScopedCoMem(const ScopedCoMem&) = delete;
    ScopedCoMem& operator=(const ScopedCoMem&) = delete;

    T* get() const { return ptr_; }
    T** receive() {
        CoTaskMemFree(ptr_);
        ptr_ = nullptr;
        return &ptr_;
    }

private:
    T* ptr_ = nullptr;
};

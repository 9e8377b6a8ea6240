// The start-up code and the C library functions of the programs that ship
// (the installer stub and the sample product's programs), in place of
// MinGW's C runtime, which imports them from msvcrt.dll: a Windows 95
// without a later Internet Explorer or service release has no msvcrt.dll,
// and a program that imports from a missing library does not start at all.
// cmake/ShippingPrograms.cmake links this unit into each of them; the
// compiler's own calls (memcpy and memset for copies and zeroing, strlen for
// std::string) land here too, and the linker drops what nobody calls. Memory
// comes from the process heap.
#include <windows.h>

#include <cstddef>

// The programs read no environment, import no data, have no thread-local
// variables, use no stdio and take the floating-point unit as Windows sets it
// up: of the C runtime's start-up only the static constructors are left to
// run.
extern "C" void __main();

namespace {

// The command line after the program's name (quoted or not) and the blanks
// that follow it, as WinMain receives it.
char* Arguments(char* line) {
    bool quoted = false;
    for (; *line != '\0'; ++line) {
        if (*line == '"') {
            quoted = !quoted;
        } else if (!quoted && (*line == ' ' || *line == '\t')) {
            break;
        }
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

} // namespace

// Windows calls the entry point with the stack aligned to 4 bytes only.
// SW_SHOWDEFAULT lets the first ShowWindow take what the starter asked for.
extern "C" [[gnu::force_align_arg_pointer]] void WinMainCRTStartup() {
    __main();
    ExitProcess(static_cast<UINT>(
        WinMain(GetModuleHandleA(nullptr), nullptr, Arguments(GetCommandLineA()), SW_SHOWDEFAULT)));
}

extern "C" {

// Static destructors only release memory or handles, which the end of the
// process releases all the same; the programs' own clean-up runs before it.
int atexit(void (*)()) {
    return 0;
}

void abort() {
    ExitProcess(3);
}

void* malloc(size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void free(void* memory) {
    if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
}

// The processor's string moves: 4 bytes a step, then the last few. Every
// byte that the installer unpacks passes through these a few times (the
// decoder's window slide, the reader's blocks), and on every x86 since the
// Pentium Pro a long "rep movs" is as fast as any loop. The direction flag
// is clear on entry, as the calling convention requires.
void* memcpy(void* to, const void* from, size_t count) {
    void* out = to;
    size_t words = count / 4;
    size_t rest = count % 4;
    asm volatile("rep movsl" : "+D"(out), "+S"(from), "+c"(words) : : "memory");
    asm volatile("rep movsb" : "+D"(out), "+S"(from), "+c"(rest) : : "memory");
    return to;
}

// Forward unless the target starts inside the source; then byte by byte from
// the end (no caller moves a block up over itself in a hot path). This unit
// is compiled without loop-to-call rewriting, so the loop stays a loop.
void* memmove(void* to, const void* from, size_t count) {
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    if (out <= in || out >= in + count) return memcpy(to, from, count);
    while (count != 0) {
        --count;
        out[count] = in[count];
    }
    return to;
}

void* memset(void* to, int value, size_t count) {
    void* out = to;
    size_t words = count / 4;
    size_t rest = count % 4;
    unsigned int pattern = static_cast<unsigned char>(value) * 0x01010101u;
    asm volatile("rep stosl" : "+D"(out), "+c"(words) : "a"(pattern) : "memory");
    asm volatile("rep stosb" : "+D"(out), "+c"(rest) : "a"(pattern) : "memory");
    return to;
}

int memcmp(const void* a, const void* b, size_t count) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; count != 0; --count, ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* where, int value, size_t count) {
    const unsigned char* p = static_cast<const unsigned char*>(where);
    for (; count != 0; --count, ++p) {
        if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
    }
    return nullptr;
}

size_t strlen(const char* text) {
    const char* end = text;
    while (*end != '\0') ++end;
    return static_cast<size_t>(end - text);
}

int strcmp(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    const unsigned char x = static_cast<unsigned char>(*a);
    const unsigned char y = static_cast<unsigned char>(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// The terminator counts as part of the string, as the C library has it.
char* strchr(const char* text, int value) {
    const char c = static_cast<char>(value);
    for (;; ++text) {
        if (*text == c) return const_cast<char*>(text);
        if (*text == '\0') return nullptr;
    }
}

} // extern "C"

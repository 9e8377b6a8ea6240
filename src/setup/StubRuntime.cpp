// The C++ runtime pieces that the installer stub supplies itself. The stub is
// built without exceptions: linked from libstdc++, these would bring the
// unwinder, the verbose terminate handler with its demangler and printf,
// several times the size of the program. Only the stub links this unit; its
// start-up and C library functions are those of every shipped program
// (src/win32/ShippedRuntime.cpp).
#include <cstdlib>
#include <new>
#include <string>

// The string members, compiled here without exceptions, in place of the
// library's prebuilt copy that catches and rethrows.
template class std::basic_string<char>;

// Nothing can be thrown: a failed allocation or a broken string invariant
// ends the process, as an exception that nobody catches would.
namespace std {
void __throw_bad_alloc() {
    abort();
}
void __throw_bad_array_new_length() {
    abort();
}
void __throw_length_error(const char*) {
    abort();
}
void __throw_logic_error(const char*) {
    abort();
}
void __throw_out_of_range(const char*) {
    abort();
}
void __throw_out_of_range_fmt(const char*, ...) {
    abort();
}
} // namespace std

void* operator new(std::size_t size) {
    void* memory = malloc(size != 0 ? size : 1);
    if (memory == nullptr) abort();
    return memory;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* memory) noexcept {
    free(memory);
}
void operator delete[](void* memory) noexcept {
    free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    free(memory);
}

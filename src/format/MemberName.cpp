#include "MemberName.h"

#include "ArchiveLayout.h"
#include "ShortUtl.h"

namespace {

bool IsDeviceName(const std::string& component) {
    // Windows opens the device for "CON", "con.txt" and "CON .txt" alike.
    std::string base = UpperAscii(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* name : kNames)
        if (base == name) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(base[3]);
        // The superscript digits of the ANSI code page count as digits too.
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsAcceptableComponent(const std::string& component) {
    if (component.empty()) return false;
    if (component.find_first_not_of(". ") == std::string::npos) return false;
    if (component.back() == '.' || component.back() == ' ') return false;
    return !IsDeviceName(component);
}

} // namespace

bool IsAcceptableMemberName(const std::string& name) {
    if (name.empty() || name.front() == '\\') return false;
    for (const char c : name)
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('\\', start);
        if (!IsAcceptableComponent(name.substr(start, end - start))) return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // A top-level member of this name would replace the archive being read.
    return name.find('\\') != std::string::npos ||
           UpperAscii(name) != UpperAscii(kTemporaryArchiveSuffix + 1);
}

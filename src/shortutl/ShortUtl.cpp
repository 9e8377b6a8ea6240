// Text, path and file helpers of the payload units.
#include "ShortUtl.h"

#include "Global.h"

void InitShortUtl() {}
void DoneShortUtl() {}

size_t ZeroTerminatedLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

std::string UpperAscii(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = char(c - 0x20);
    return result;
}

SysError SetFileDosTime(File& file, uint32_t dosDateTime) {
    return file.setDosTime(dosDateTime);
}

size_t FindLastOf(const std::string& delimiters, const std::string& text) {
    for (size_t position = text.size(); position > 0; --position)
        if (delimiters.find(text[position - 1]) != std::string::npos) return position;
    return 0;
}

std::string PathOf(const std::string& path) {
    return path.substr(0, FindLastOf("\\:", path));
}

std::string NameOf(const std::string& path) {
    return path.substr(FindLastOf("\\:", path));
}

std::string ExtensionOf(const std::string& path) {
    const size_t position = FindLastOf(".\\:", path);
    if (position > 0 && path[position - 1] == '.') return path.substr(position - 1);
    return std::string();
}

SysError ApplyAttributes(const std::string& path, uint32_t attributes) {
    return ChangeFileAttributes(path, attributes);
}

bool IsExistingDirectory(const std::string& path) {
    uint32_t attributes = 0;
    return QueryFileAttributes(path, &attributes) == 0 && (attributes & kAttrDirectory) != 0;
}

void MakeDirectoryPath(const std::string& path) {
    if (path.empty()) return;
    std::string directory = path;
    while (!directory.empty() && directory.back() == '\\') directory.pop_back();
    // A drive such as "C:" is never created.
    if (directory.size() < 3) return;
    if (IsExistingDirectory(directory)) return;
    const std::string parent = PathOf(directory);
    if (parent == directory) return;
    MakeDirectoryPath(parent);
    MakeDirectory(directory); // a failure shows when the caller uses the directory
}

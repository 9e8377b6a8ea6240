// Whole-file input for the host side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The whole file (less than 4 GiB), or a one-line reason naming it.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error);

// Member names are bytes in the ANSI code page of the Windows machines the
// installer runs on (1252, Western European); listings show them as UTF-8.
#pragma once

#include <string>

// Every byte to its character: 0x00-0x7F as ASCII, 0x80-0x9F by the code
// page's table (its five unassigned bytes to the C1 controls of the same
// number, as Windows converts them), 0xA0-0xFF to U+00A0-U+00FF.
std::string Utf8FromCodePage1252(const std::string& text);

// The rule for member names, shared by the reader and the writer.
#pragma once

#include <string>

// Whether a member name stays below the destination as one ordinary file:
// relative, "\" between non-empty components, no "/", ":" or control bytes,
// no component of dots and blanks only or ending in a dot or a blank, no DOS
// device name, and not the temporary archive "tempfile.$$$" at the top.
bool IsAcceptableMemberName(const std::string& name);

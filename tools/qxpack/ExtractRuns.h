// extract's unpacking pass on several cores. The check has read every
// record, so the body can be cut into runs of whole members; readers of
// their own, each on its own handle of FILE, unpack the runs side by side.
// Runs are taken in archive order: the first failing run ends the pass and
// names its member, and what later runs wrote already is removed again, so
// that what stays is what unpacking front to back would leave.
#pragma once

#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "Cli.h"

// What the check found, and what extract asks for.
struct ExtractJob {
    const std::string* path = nullptr; // FILE, opened again by every run
    const File* input = nullptr;       // the check's handle: every run must read the same file
    ArchiveSpan span;
    const std::string* key = nullptr;
    const std::vector<ArchiveMember>* members = nullptr; // in archive order
    uint32_t bodySize = 0;
    std::string destination;
    unsigned jobs = 1;
    ProgressBar* bar = nullptr; // bytes written of the members' total
};

struct ExtractOutcome {
    ArchiveResult result;
    ArchiveMember member;    // the member that result names, as its reader saw it
    bool replaced = false;   // FILE's name led to another file for a run
    std::string refusedLink; // the link that the file layer refused in that run, if any
};

// The members that could meet on the disk (the same name, or one name a
// folder of another, letters compared as Windows does) are unpacked by one
// thread, in order.
ExtractOutcome UnpackInRuns(const ExtractJob& job);

#include "ExtractRuns.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <unordered_set>

#include "HostPlatform.h"
#include "Interrupt.h"
#include "OrderedPool.h"

namespace {

// About this much packed plus unpacked data makes a run: small enough to
// share the work out evenly, large enough that opening FILE once more and
// starting the scrambling stream in the middle cost nothing.
constexpr uint64_t kRunWork = 2u << 20;
// Creating a file costs about as much as this much data.
constexpr uint64_t kMemberWork = 64u << 10;
// Beyond a few threads the disk, not the decoding, sets the pace.
constexpr unsigned kMostThreads = 8;

struct Run {
    MemberRun span;
    uint32_t end = 0;     // the index after its last member
    bool ran = false;     // set by the thread that unpacked it
    uint32_t written = 0; // its members that were written whole
    ExtractOutcome outcome;
};

std::vector<Run> CutIntoRuns(const std::vector<ArchiveMember>& members, uint32_t bodySize) {
    std::vector<Run> runs;
    uint64_t work = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        const ArchiveMember& m = members[i];
        if (work == 0) {
            runs.emplace_back();
            runs.back().span.firstIndex = m.index;
            runs.back().span.from = m.recordOffset;
        }
        work += uint64_t(m.header.packedSize) + m.header.unpackedSize + kMemberWork;
        const bool last = i + 1 == members.size();
        if (work >= kRunWork || last) {
            runs.back().span.to = last ? bodySize : members[i + 1].recordOffset;
            runs.back().end = m.index + 1;
            work = 0;
        }
    }
    return runs;
}

// The name as Windows compares names: letters of code page 1252 in one case.
std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        const uint8_t b = uint8_t(c);
        if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
            c = char(b - 0x20);
        else if (b == 0x9A || b == 0x9C || b == 0x9E)
            c = char(b - 0x10);
        else if (b == 0xFF)
            c = char(0x9F);
    }
    return folded;
}

bool NamesMeet(const std::vector<ArchiveMember>& members) {
    std::unordered_set<std::string> files;
    std::unordered_set<std::string> folders;
    for (const ArchiveMember& m : members) {
        const std::string name = FoldedName(m.name);
        if (!files.insert(name).second || folders.count(name) != 0) return true;
        for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
            folders.insert(name.substr(0, at));
    }
    for (const std::string& folder : folders)
        if (files.count(folder) != 0) return true;
    return false;
}

// The member file being written on this thread, removed on interruption.
thread_local RemovedOnInterrupt* memberBeingWritten = nullptr;

void WatchMemberFile(const char* systemPath) {
    if (memberBeingWritten == nullptr) return;
    if (systemPath != nullptr)
        memberBeingWritten->set(systemPath);
    else
        memberBeingWritten->clear();
}

// Where this thread's run keeps the link that the file layer refused: runs on
// other threads may meet links of their own at the same time.
thread_local std::string* linkRefusedInRun = nullptr;

void NoteRunRefusedLink(const std::string& link) {
    if (linkRefusedInRun != nullptr) *linkRefusedInRun = link;
}

// Counts each run's plain bytes into the shared total.
struct RunProgress {
    std::atomic<uint64_t>* done = nullptr;
    uint32_t counted = 0; // of the current member
};

void CountPlainBytes(void* context, ArchiveEvent event, const ArchiveReader& reader) {
    RunProgress& progress = *static_cast<RunProgress*>(context);
    if (event == ArchiveEvent::MemberStart) progress.counted = 0;
    if (event != ArchiveEvent::MemberBlock) return;
    progress.done->fetch_add(reader.plainDone() - progress.counted, std::memory_order_relaxed);
    progress.counted = reader.plainDone();
}

void UnpackRun(const ExtractJob& job, Run& run, std::atomic<uint64_t>& done) {
    run.ran = true;
    ExtractOutcome& outcome = run.outcome;
    File file;
    file.open(*job.path, FileOpen::ReadRegular);
    if (const SysError code = file.takeError()) {
        outcome.result.fault = ArchiveFault::OpenFailed;
        outcome.result.system = code;
        return;
    }
    if (!SameFile(file, *job.input)) {
        outcome.result.fault = ArchiveFault::OpenFailed;
        outcome.replaced = true;
        return;
    }
    RemovedOnInterrupt removeMember;
    memberBeingWritten = &removeMember;
    linkRefusedInRun = &outcome.refusedLink;
    RunProgress progress;
    progress.done = &done;
    // The reader's buffers are large for a thread's stack.
    const std::unique_ptr<ArchiveReader> reader(
        new ArchiveReader(file, job.span, *job.key, {CountPlainBytes, &progress}));
    outcome.result = reader->unpackRun(job.destination, run.span);
    outcome.member = reader->member();
    memberBeingWritten = nullptr;
    linkRefusedInRun = nullptr;
    if (outcome.result.ok())
        run.written = run.end - run.span.firstIndex;
    else if (outcome.result.namesMember())
        run.written = outcome.result.member - run.span.firstIndex;
}

} // namespace

ExtractOutcome UnpackInRuns(const ExtractJob& job) {
    std::vector<Run> runs = CutIntoRuns(*job.members, job.bodySize);
    const unsigned threads = NamesMeet(*job.members) ? 1 : std::clamp(job.jobs, 1u, kMostThreads);
    std::atomic<uint64_t> done{0};
    std::string label;
    size_t failed = runs.size();
    WatchCreatedFiles(WatchMemberFile);
    WatchRefusedLinks(NoteRunRefusedLink);
    // One thread runs strictly in order: the next run starts once the last is taken.
    RunInOrder(
        runs.size(), threads, threads == 1 ? 1 : 2 * threads,
        [&](size_t i) { UnpackRun(job, runs[i], done); },
        [&](size_t i) {
            label = (*job.members)[runs[i].end - 1].name;
            job.bar->update(done.load(), label);
            if (runs[i].outcome.result.ok()) return true;
            failed = i;
            return false;
        },
        [&] { job.bar->update(done.load(), label); });
    WatchCreatedFiles(nullptr);
    WatchRefusedLinks(nullptr);
    if (failed == runs.size()) return ExtractOutcome{};

    // Unpacking front to back would not have reached the later runs.
    for (size_t i = failed + 1; i < runs.size(); ++i) {
        if (!runs[i].ran) continue;
        for (uint32_t k = 0; k < runs[i].written; ++k) {
            const std::string path =
                job.destination + "\\" + (*job.members)[runs[i].span.firstIndex + k].name;
            ChangeFileAttributes(path, 0);
            RemoveFile(path);
        }
    }
    return runs[failed].outcome;
}

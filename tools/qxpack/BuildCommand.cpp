// qxpack build: a folder into an installer or a bare archive.
#include <cstdlib>

#include "ArchiveWriter.h"
#include "Cli.h"
#include "Commands.h"

namespace {

const char kBuildHelp[] =
    "usage: qxpack build --stub STUB --out SETUP [OPTIONS] DIR\n"
    "       qxpack build --out ARCHIVE [--key KEY] [OPTIONS] DIR\n"
    "\n"
    "Packs every file below DIR into an archive: member names relative to DIR\n"
    "with \"\\\" between folders, in byte-wise order; the DOS date and time of\n"
    "each file's modification time in local time (no later than\n"
    "SOURCE_DATE_EPOCH when that is set); its read-only bit (and on Windows its\n"
    "hidden, system and archive bits). With --stub the output is STUB, the\n"
    "payload marker and the archive: an installer, always with the empty key.\n"
    "Without it the output is the bare archive. The same inputs give the same\n"
    "bytes; the output appears only when it is complete.\n"
    "\n"
    "  --stub STUB     the installer program to put in front of the archive\n"
    "  --out FILE      the file to write\n"
    "  --key KEY       scrambling key of a bare archive (installers take none)\n"
    "  --mode MODE     literal mode of every member: binary or ascii\n"
    "  --dict SIZE     dictionary size of every member: 1024, 2048 or 4096\n"
    "                  (without these, each member gets the mode that its\n"
    "                  byte statistics suggest and the largest dictionary)\n"
    "  --best          encode each member with every mode and dictionary left\n"
    "                  open and keep the smallest (slower, about 0.1 % smaller)\n"
    "  --jobs N        pack N members at once (default: one per core); the\n"
    "                  output is the same whatever N\n";

} // namespace

int RunBuild(int argc, char** argv) {
    const char* command = "build";
    Arguments args;
    if (!ParseArguments(command, argc, argv, {"stub", "out", "key", "mode", "dict", "jobs"},
                        {"best"}, &args))
        return kExitUsage;
    if (args.help) {
        std::fputs(kBuildHelp, stdout);
        return kExitOk;
    }
    if (args.operands.size() != 1) return UsageError(command, "expects one folder DIR");
    const std::string out = OptionValue(args, "out");
    if (out.empty()) return UsageError(command, "--out FILE is required");
    const bool installer = HasOption(args, "stub");
    if (installer && HasOption(args, "key"))
        return UsageError(command, "--key is for bare archives: the installer passes no key");

    PackOptions options;
    options.key = OptionValue(args, "key");
    const std::string mode = OptionValue(args, "mode");
    const std::string dict = OptionValue(args, "dict");
    if (!mode.empty() && mode != "binary" && mode != "ascii")
        return UsageError(command, "--mode must be binary or ascii, not '" + mode + "'");
    if (!dict.empty() && dict != "1024" && dict != "2048" && dict != "4096")
        return UsageError(command, "--dict must be 1024, 2048 or 4096, not '" + dict + "'");
    std::vector<ImplodeChoice> candidates;
    for (const ImplodeChoice& c : AllImplodeChoices()) {
        if (!mode.empty() && (c.literals == ImplodeLiterals::Ascii) != (mode == "ascii")) continue;
        if (!dict.empty() && std::to_string(c.dictionarySize) != dict) continue;
        candidates.push_back(c);
    }
    options.candidates = candidates;
    options.exhaustive = HasOption(args, "best");
    if (HasOption(args, "jobs")) {
        const std::string jobs = OptionValue(args, "jobs");
        char* end = nullptr;
        const unsigned long n = std::strtoul(jobs.c_str(), &end, 10);
        if (jobs.empty() || *end != '\0' || jobs[0] == '-' || n < 1 || n > 1024)
            return UsageError(command, "--jobs must be a count from 1 to 1024, not '" + jobs + "'");
        options.jobs = unsigned(n);
    }

    std::string error;
    std::vector<PackSource> sources;
    if (!CollectPackSources(args.operands[0], &sources, &error)) return Fail(command, error);

    uint64_t total = 0;
    for (const PackSource& s : sources)
        total += s.size * (options.exhaustive ? candidates.size() : 1);
    ProgressBar progress(total, ProgressWanted());
    options.progress = [&](uint64_t done, uint64_t, const std::string& member) {
        progress.update(done, member);
    };

    OutputFile output;
    std::vector<PackedMember> packed;
    const bool written = output.create(out, &error) &&
                         (installer ? WriteInstaller(OptionValue(args, "stub"), sources, options,
                                                     output, &packed, &error)
                                    : WriteArchive(sources, options, output, &packed, &error)) &&
                         output.commit(&error);
    progress.finish();
    if (!written) return Fail(command, error);

    uint64_t plain = 0;
    uint64_t compressed = 0;
    for (const PackedMember& m : packed) {
        plain += m.header.unpackedSize;
        compressed += m.header.packedSize;
    }
    std::printf("%s: %zu members, %llu bytes packed into %llu\n", out.c_str(), packed.size(),
                static_cast<unsigned long long>(plain),
                static_cast<unsigned long long>(compressed));
    return kExitOk;
}

// qxpack build: a folder into an installer or a bare archive.
#include <CLI/CLI.hpp>

#include "ArchiveWriter.h"
#include "Cli.h"
#include "Commands.h"
#include "HostPlatform.h"

CLI::App* AddBuildCommand(CLI::App& qxpack, BuildOptions* o) {
    CLI::App* build =
        qxpack.add_subcommand("build", "pack every file below a folder into an installer");
    build->footer("Packs every file below DIR into an archive: member names relative to DIR\n"
                  "with \"\\\" between folders, in byte-wise order; the DOS date and time of\n"
                  "each file's modification time in local time (no later than\n"
                  "SOURCE_DATE_EPOCH when that is set); its read-only bit (and on Windows its\n"
                  "hidden, system and archive bits). Each member gets the smallest encoding\n"
                  "of the literal modes and dictionary sizes that --mode and --dict allow.\n"
                  "With --stub the output is STUB, the payload marker and the archive: an\n"
                  "installer, always with the empty key. Without it the output is the bare\n"
                  "archive. The same inputs give the same bytes; the output appears only\n"
                  "when it is complete.");
    build->add_option("DIR", o->dir, "the folder to pack")->required();
    build->add_option("-o,--out", o->out, "the file to write")->type_name("FILE")->required();
    build->add_option("-s,--stub", o->stub, "the installer program to put in front of the archive")
        ->type_name("STUB");
    build->add_option("-k,--key", o->key, "scrambling key of a bare archive (installers take none)")
        ->type_name("KEY");
    build->add_option("-m,--mode", o->mode, "literal mode of every member: binary or ascii")
        ->type_name("MODE");
    build->add_option("-d,--dict", o->dict, "dictionary size of every member: 1024, 2048 or 4096")
        ->type_name("SIZE");
    o->jobs = int(ProcessorCount());
    build
        ->add_option("-j,--jobs", o->jobs,
                     "members packed at the same time (default: the number of cores)")
        ->type_name("N")
        ->check([](const std::string& value) {
            return value.find_first_not_of("0123456789") == std::string::npos && value.size() < 5 &&
                           std::stoi("0" + value) >= 1
                       ? std::string()
                       : "must be a number from 1 to 9999, not '" + value + "'";
        });
    build->add_flag("--best", o->best, "search harder for the smallest output (slower)");
    return build;
}

int RunBuild(const BuildOptions& o) {
    const char* command = "build";
    const bool installer = !o.stub.empty();
    if (installer && !o.key.empty())
        return UsageError(command, "--key is for bare archives: the installer passes no key");

    PackOptions options;
    options.key = o.key;
    const std::string& mode = o.mode;
    const std::string& dict = o.dict;
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

    std::string error;
    std::vector<PackSource> sources;
    if (!CollectPackSources(o.dir, &sources, &error)) return Fail(command, error);

    uint64_t total = 0;
    for (const PackSource& s : sources) total += s.size * candidates.size();
    ProgressBar progress(total, ProgressWanted());
    options.progress = [&](uint64_t done, uint64_t, const std::string& member) {
        progress.update(done, member);
    };

    OutputFile output;
    std::vector<PackedMember> packed;
    const bool written =
        output.create(o.out, &error) &&
        (installer ? WriteInstaller(o.stub, sources, options, output, &packed, &error)
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
    std::printf("%s: %zu members, %llu bytes packed into %llu\n", o.out.c_str(), packed.size(),
                static_cast<unsigned long long>(plain),
                static_cast<unsigned long long>(compressed));
    return kExitOk;
}

// qxpack build: a folder into an installer or a bare archive.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <set>

#include "ArchiveWriter.h"
#include "Cli.h"
#include "Commands.h"
#include "DeliveredFiles.h"
#include "HostPlatform.h"

namespace {

constexpr char kStubName[] = "QVRInst.exe";

// The stub next to the tool (a build tree or a folder of the user's), in the
// install prefix's share/qxpack, or where the build tree's stub was built.
std::string FindStub() {
    std::vector<std::string> candidates;
    const std::filesystem::path tool = SystemSpelling(OwnProgramPath());
    if (!tool.empty()) {
        candidates.push_back((tool.parent_path() / kStubName).string());
        candidates.push_back(
            (tool.parent_path().parent_path() / "share" / "qxpack" / kStubName).string());
    }
    candidates.push_back(QX_BUILD_STUB);
    for (const std::string& candidate : candidates) {
        std::error_code ec;
        if (!candidate.empty() && std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

// The delivered files that the installer's post-setup steps use and that
// sources lack (Windows compares names without case).
std::vector<std::string> MissingDeliveredFiles(const std::vector<PackSource>& sources) {
    auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return text;
    };
    std::set<std::string> present;
    for (const PackSource& s : sources) present.insert(lower(s.memberName));
    std::vector<std::string> missing;
    for (const char* name : kDeliveredFiles)
        if (!present.count(lower(name))) missing.push_back(name);
    return missing;
}

} // namespace

CLI::App* AddBuildCommand(CLI::App& qxpack, BuildOptions* o) {
    CLI::App* build =
        qxpack.add_subcommand("build", "pack every file below a folder into an installer");
    build->footer("Packs every file below DIR into an installer: the stub QVRInst.exe, the\n"
                  "payload marker and the archive, always with the empty key. The stub is\n"
                  "--stub STUB, or else QVRInst.exe next to qxpack, or in share/qxpack of\n"
                  "the prefix qxpack is installed in. DIR must hold every file that the\n"
                  "installer's post-setup steps use (Quorvath.exe, help\\contents.htm,\n"
                  "tolvane.exe, unsetup.exe, queries\\travel.qvq, queries\\sports.qvq,\n"
                  "queries\\politics.qvq, Wininet.dl, Shlwapi.dl, VFP300.ESL, FOXPRO.INT,\n"
                  "DELPHIMM.DLL, QVR32.DLL); build names the missing ones and stops unless\n"
                  "--allow-missing is given. With --bare the output is the bare archive.\n"
                  "\n"
                  "Members are named relative to DIR with \"\\\" between folders, in byte-wise\n"
                  "order. Each keeps its read-only bit (on Windows also its hidden, system\n"
                  "and archive bits) and its modification time as DOS date and time, no\n"
                  "later than SOURCE_DATE_EPOCH when that is set. DOS times have no time\n"
                  "zone: they are taken in UTC when SOURCE_DATE_EPOCH is set, so that the\n"
                  "same files give the same bytes everywhere, and in local time otherwise,\n"
                  "as zip tools do; --time-zone chooses. Each member gets the literal mode\n"
                  "that the byte statistics of a sample of it suggest and the largest\n"
                  "dictionary of those --mode and --dict allow; with --best, the smallest\n"
                  "of them all (about 0.1 % smaller, several times slower). The output is\n"
                  "the same whatever --jobs. The same inputs give the same bytes; the\n"
                  "output appears only when it is complete.");
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
    AddJobsOption(build, &o->jobs,
                  "members packed at the same time (default: the number of cores)");
    build->add_flag("--best", o->best, "search harder for the smallest output (slower)");
    build->add_flag("--bare", o->bare, "write the bare archive alone, without a stub");
    build->add_flag("--allow-missing", o->allowMissing,
                    "build an installer even if DIR lacks files it needs");
    build->add_option("--time-zone", o->timeZone, "local or utc: the zone of the DOS times")
        ->type_name("ZONE");
    build->add_flag("-q,--quiet", o->quiet, "no progress and no summary");
    return build;
}

int RunBuild(const BuildOptions& o) {
    const char* command = "build";
    const bool installer = !o.bare;
    if (o.bare && !o.stub.empty())
        return UsageError(command, "--stub and --bare exclude each other");
    if (installer && !o.key.empty())
        return UsageError(command,
                          "--key is for bare archives (--bare): the installer passes no key");
    DosTimeZone zone = DosTimeZone::Automatic;
    if (o.timeZone == "local")
        zone = DosTimeZone::Local;
    else if (o.timeZone == "utc")
        zone = DosTimeZone::Utc;
    else if (!o.timeZone.empty())
        return UsageError(command, "--time-zone must be local or utc, not '" + o.timeZone + "'");
    std::string stub = o.stub;
    if (installer && stub.empty()) {
        stub = FindStub();
        if (stub.empty())
            return Fail(command, std::string("no installer stub ") + kStubName +
                                     " next to qxpack or in its share/qxpack folder: give "
                                     "--stub STUB, or --bare for a bare archive");
    }

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
    options.exhaustive = o.best;
    options.jobs = unsigned(o.jobs);

    std::string error;
    std::vector<PackSource> sources;
    if (!CollectPackSources(o.dir, &sources, &error, zone)) return Fail(command, error);
    if (installer && !o.allowMissing) {
        const std::vector<std::string> missing = MissingDeliveredFiles(sources);
        if (!missing.empty()) {
            std::string list;
            for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
            return Fail(command, o.dir + ": the installer needs files that are missing: " + list +
                                     " (--allow-missing builds it anyway)");
        }
    }

    uint64_t total = 0;
    for (const PackSource& s : sources) total += s.size;
    ProgressBar progress(total, !o.quiet && ProgressWanted());
    // With --best the work counts every byte once per candidate encoding.
    const uint64_t passes = o.best ? candidates.size() : 1;
    options.progress = [&](uint64_t done, uint64_t, const std::string& member) {
        progress.update(done / passes, member);
    };

    OutputFile output;
    std::vector<PackedMember> packed;
    const bool written =
        output.create(o.out, &error) &&
        (installer ? WriteInstaller(stub, sources, options, output, &packed, &error)
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
    if (o.quiet) return kExitOk;
    std::printf("%s: %zu members, %llu bytes packed into %llu\n", o.out.c_str(), packed.size(),
                static_cast<unsigned long long>(plain),
                static_cast<unsigned long long>(compressed));
    return kExitOk;
}

// qxpack: the vendor's tool for Quorvath installers and their payload.
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "Commands.h"

namespace {

const char kHelp[] =
    "usage: qxpack COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Commands:\n"
    "  build --stub STUB --out SETUP DIR   pack every file below DIR into an installer\n"
    "  build --out ARCHIVE DIR             pack DIR into a bare archive\n"
    "  list FILE                           show the members of an installer or archive\n"
    "  verify FILE                         check the checksum and every member\n"
    "  extract FILE DIR                    unpack every member below DIR\n"
    "  implode [--ascii] [--dict N] IN OUT compress one raw implode stream\n"
    "  explode IN OUT                      decompress one raw implode stream\n"
    "\n"
    "'qxpack COMMAND --help' describes each command. The exit code is 0 only\n"
    "on success: 1 when the work failed, 2 for a wrong command line.\n";

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"build", RunBuild},     {"list", RunList},       {"verify", RunVerify},
    {"extract", RunExtract}, {"implode", RunImplode}, {"explode", RunExplode},
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    for (const Command& command : kCommands)
        if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
    std::fprintf(stderr, "qxpack: unknown command '%s' (see 'qxpack --help')\n", argv[1]);
    return kExitUsage;
}

// The subcommands of qxpack. Each one declares its options on the parser
// (AddXCommand, filling the options it is given) and runs from the parsed
// options (RunX), answering the exit code.
#pragma once

#include <string>

namespace CLI {
class App;
}

// -j,--jobs N (1 to 9999) on command; *jobs starts as the number of cores.
void AddJobsOption(CLI::App* command, int* jobs, const char* description);

struct BuildOptions {
    std::string dir;
    std::string out;
    std::string stub;
    std::string key;
    std::string mode;
    std::string dict;
    std::string timeZone; // local, utc, or empty for automatic
    int jobs = 1;         // the number of cores unless given
    bool best = false;
    bool bare = false;
    bool allowMissing = false;
    bool quiet = false;
};
CLI::App* AddBuildCommand(CLI::App& qxpack, BuildOptions* options);
int RunBuild(const BuildOptions& options);

// list, verify and extract (dir only for extract, json only for list).
struct ArchiveOptions {
    std::string file;
    std::string dir;
    std::string key;
    int jobs = 1; // extract: the number of cores unless given
    bool json = false;
    bool quiet = false;
};
CLI::App* AddListCommand(CLI::App& qxpack, ArchiveOptions* options);
CLI::App* AddVerifyCommand(CLI::App& qxpack, ArchiveOptions* options);
CLI::App* AddExtractCommand(CLI::App& qxpack, ArchiveOptions* options);
int RunList(const ArchiveOptions& options);
int RunVerify(const ArchiveOptions& options);
int RunExtract(const ArchiveOptions& options);

// implode and explode (ascii and dict only for implode).
struct StreamOptions {
    std::string in;
    std::string out;
    bool ascii = false;
    std::string dict = "4096";
};
CLI::App* AddImplodeCommand(CLI::App& qxpack, StreamOptions* options);
CLI::App* AddExplodeCommand(CLI::App& qxpack, StreamOptions* options);
int RunImplode(const StreamOptions& options);
int RunExplode(const StreamOptions& options);

// Subcommands not written yet.
#include "Cli.h"
#include "Commands.h"

int RunBuild(int, char**) {
    return Fail("build", "not available yet");
}
int RunList(int, char**) {
    return Fail("list", "not available yet");
}
int RunVerify(int, char**) {
    return Fail("verify", "not available yet");
}
int RunExtract(int, char**) {
    return Fail("extract", "not available yet");
}

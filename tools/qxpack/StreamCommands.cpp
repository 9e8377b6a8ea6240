// qxpack implode / explode: raw streams of the implode format.
#include <cstdint>

#include "Cli.h"
#include "Commands.h"
#include "ExplodeStream.h"
#include "Implode.h"
#include "OutputFile.h"

namespace {

const char kImplodeHelp[] =
    "usage: qxpack implode [--ascii] [--dict 1024|2048|4096] IN OUT\n"
    "\n"
    "Compresses the file IN into one raw stream of the implode format and\n"
    "writes it as OUT.\n"
    "\n"
    "  --ascii        code literals with the fixed text code (for text files)\n"
    "                 instead of plain bytes\n"
    "  --dict SIZE    dictionary size in bytes: 1024, 2048 or 4096 (default 4096)\n";

const char kExplodeHelp[] =
    "usage: qxpack explode IN OUT\n"
    "\n"
    "Decompresses the raw implode stream IN and writes the bytes as OUT. The\n"
    "4-byte stream of a header and the end marker gives an empty OUT. OUT is\n"
    "written only when the whole stream decoded.\n";

} // namespace

int RunImplode(int argc, char** argv) {
    const char* command = "implode";
    Arguments args;
    if (!ParseArguments(command, argc, argv, {"dict"}, {"ascii"}, &args)) return kExitUsage;
    if (args.help) {
        std::fputs(kImplodeHelp, stdout);
        return kExitOk;
    }
    if (args.operands.size() != 2) return UsageError(command, "expects IN and OUT");
    ImplodeChoice choice;
    choice.literals = HasOption(args, "ascii") ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary;
    const std::string dict = OptionValue(args, "dict", "4096");
    if (dict == "1024" || dict == "2048" || dict == "4096")
        choice.dictionarySize = uint32_t(std::stoul(dict));
    else
        return UsageError(command, "--dict must be 1024, 2048 or 4096, not '" + dict + "'");

    const std::string& in = args.operands[0];
    const std::string& out = args.operands[1];
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(in, &data, &error)) return Fail(command, error);
    ProgressBar bar(data.size(), ProgressWanted() && data.size() > (1u << 20));
    const std::vector<uint8_t> stream =
        Implode(data.data(), data.size(), choice, [&](size_t done) { bar.update(done, in); });
    bar.finish();
    OutputFile output;
    if (!output.create(out, &error) || !output.write(stream.data(), stream.size(), &error) ||
        !output.commit(&error))
        return Fail(command, error);
    return kExitOk;
}

int RunExplode(int argc, char** argv) {
    const char* command = "explode";
    Arguments args;
    if (!ParseArguments(command, argc, argv, {}, {}, &args)) return kExitUsage;
    if (args.help) {
        std::fputs(kExplodeHelp, stdout);
        return kExitOk;
    }
    if (args.operands.size() != 2) return UsageError(command, "expects IN and OUT");
    const std::string& in = args.operands[0];
    const std::string& out = args.operands[1];

    std::string error;
    InputFile f;
    if (!f.open(in, UINT64_MAX, "too large", &error)) return Fail(command, error);
    uint8_t head[5];
    size_t headSize = 0;
    if (!f.read(head, sizeof head, &headSize, &error)) return Fail(command, error);
    f.rewind();

    OutputFile output;
    if (!output.create(out, &error)) return Fail(command, error);
    if (IsEmptyStream(head, headSize)) {
        if (!output.commit(&error)) return Fail(command, error);
        return kExitOk;
    }

    bool readFailed = false;
    bool writeFailed = false;
    std::string readError;
    const uint32_t result = ExplodeStream(
        [&](uint8_t* buffer, uint32_t capacity) {
            size_t n = 0;
            if (!readFailed && !f.read(buffer, capacity, &n, &readError)) readFailed = true;
            return uint32_t(n);
        },
        [&](const uint8_t* data, uint32_t size) {
            if (!writeFailed && !output.write(data, size, &error)) writeFailed = true;
        });
    f.close();
    if (readFailed) return Fail(command, readError);
    if (writeFailed) return Fail(command, error);
    if (result != 0)
        return Fail(command, in + ": not a valid implode stream: Explode result " +
                                 std::to_string(result) + " (" + ExplodeResultText(result) + ")");
    if (!output.commit(&error)) return Fail(command, error);
    return kExitOk;
}

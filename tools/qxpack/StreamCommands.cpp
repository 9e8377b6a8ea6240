// qxpack implode / explode: raw streams of the implode format.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "Cli.h"
#include "Commands.h"
#include "ExplodeStream.h"
#include "Implode.h"
#include "OutputFile.h"
#include "StreamFiles.h"

CLI::App* AddImplodeCommand(CLI::App& qxpack, StreamOptions* o) {
    CLI::App* implode =
        qxpack.add_subcommand("implode", "compress one file into a raw implode stream");
    implode->footer("Compresses the file IN into one raw stream of the implode format and\n"
                    "writes it as OUT.");
    implode->add_option("IN", o->in, "the file to compress")->required();
    implode->add_option("OUT", o->out, "the stream to write")->required();
    implode->add_flag("-a,--ascii", o->ascii, "literals in the fixed text code (for text files)");
    implode->add_option("-d,--dict", o->dict, "dictionary size in bytes: 1024, 2048 or 4096")
        ->type_name("SIZE")
        ->capture_default_str();
    return implode;
}

CLI::App* AddExplodeCommand(CLI::App& qxpack, StreamOptions* o) {
    CLI::App* explode =
        qxpack.add_subcommand("explode", "decompress one raw implode stream into a file");
    explode->footer("Decompresses the raw implode stream IN and writes the bytes as OUT. The\n"
                    "4-byte stream of a header and the end marker gives an empty OUT. OUT is\n"
                    "written only when the whole stream decoded.");
    explode->add_option("IN", o->in, "the stream to decompress")->required();
    explode->add_option("OUT", o->out, "the file to write")->required();
    return explode;
}

int RunImplode(const StreamOptions& o) {
    const char* command = "implode";
    ImplodeChoice choice;
    choice.literals = o.ascii ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary;
    const std::string& dict = o.dict;
    if (dict == "1024" || dict == "2048" || dict == "4096")
        choice.dictionarySize = uint32_t(std::stoul(dict));
    else
        return UsageError(command, "--dict must be 1024, 2048 or 4096, not '" + dict + "'");

    const std::string& in = o.in;
    const std::string& out = o.out;
    std::string error;
    InputStream input;
    OutputFile output;
    if (!input.open(in, &error) || !output.create(out, &error)) return Fail(command, error);
    std::error_code sizeError;
    const uint64_t expected = std::filesystem::file_size(in, sizeError);
    ProgressBar bar(expected, ProgressWanted() && !sizeError && expected > (1u << 20));
    bool writeFailed = false;
    ImplodeEncoder encoder(choice, [&](const uint8_t* data, size_t size) {
        if (!writeFailed && !output.write(data, size, &error)) writeFailed = true;
    });
    // Read in blocks and stopped at the member limit as it is passed, so an
    // endless input ends here too.
    std::vector<uint8_t> block(size_t(1) << 18);
    uint64_t total = 0;
    size_t got = 0;
    do {
        if (!input.read(block.data(), block.size(), &got, &error)) return Fail(command, error);
        total += got;
        if (total > 0xFFFFFFFEu) return Fail(command, in + ": too large (4 GiB or more)");
        encoder.write(block.data(), got);
        if (writeFailed) return Fail(command, error);
        bar.update(total, in);
    } while (got > 0);
    encoder.finish();
    bar.finish();
    if (writeFailed || !output.commit(&error)) return Fail(command, error);
    return kExitOk;
}

int RunExplode(const StreamOptions& o) {
    const char* command = "explode";
    const std::string& in = o.in;
    const std::string& out = o.out;

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
    // The decoder asks for 2048 bytes at a time; they come out of reads of
    // 64 KiB, which cost far fewer calls into the C library per byte.
    std::vector<uint8_t> chunk(size_t(1) << 16);
    size_t chunkPosition = 0;
    size_t chunkSize = 0;
    const uint32_t result = ExplodeStream(
        [&](uint8_t* buffer, uint32_t capacity) {
            if (chunkPosition == chunkSize && !readFailed) {
                chunkPosition = chunkSize = 0;
                if (!f.read(chunk.data(), chunk.size(), &chunkSize, &readError)) readFailed = true;
            }
            const size_t n = std::min<size_t>(capacity, chunkSize - chunkPosition);
            std::memcpy(buffer, chunk.data() + chunkPosition, n);
            chunkPosition += n;
            return uint32_t(n);
        },
        [&](const uint8_t* data, uint32_t size) {
            if (!writeFailed && !output.write(data, size, &error)) writeFailed = true;
        });
    f.close();
    if (readFailed) return Fail(command, readError);
    if (writeFailed) return Fail(command, error);
    if (result != 0)
        return Fail(command,
                    in + ": not a valid implode stream: " +
                        StreamFaultText(head, std::min<size_t>(headSize, 2), f.consumed(), result));
    if (!output.commit(&error)) return Fail(command, error);
    return kExitOk;
}

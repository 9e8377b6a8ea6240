// qxpack: the vendor's tool for Quorvath installers and their payload.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <functional>
#include <iostream>

#include "Cli.h"
#include "Commands.h"

namespace {

// Help as the usage line, what the command does (kept in its footer), then
// its commands and options: the layout help2man turns into a manual page.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string text = make_usage(app, name);
        if (!app->get_footer().empty()) text += "\n" + app->get_footer() + "\n";
        return text + make_subcommands(app, mode) + make_groups(app, mode);
    }
};

// Edits (insert, delete, change, swap two neighbours) from a to b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

int UnknownCommand(const CLI::App& app, const std::string& typed) {
    std::string best;
    size_t bestDistance = 3; // farther than two edits is no longer a typo
    for (const CLI::App* sub : app.get_subcommands({})) {
        const size_t distance = EditDistance(typed, sub->get_name());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = sub->get_name();
        }
    }
    if (best.empty()) return UsageError("", "unknown command '" + typed + "'");
    std::fprintf(stderr, "qxpack: unknown command '%s'; did you mean '%s'?\n", typed.c_str(),
                 best.c_str());
    return kExitUsage;
}

// "expects FILE and DIR", from the operands the command declares.
std::string ExpectedOperands(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* operand :
         command.get_options([](const CLI::Option* o) { return o->get_positional(); }))
        names.push_back(operand->get_name());
    std::string text = "expects ";
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

// Words on the command line that no option or operand took.
int Leftover(const CLI::App& command, const std::vector<std::string>& extras) {
    const std::string name = command.get_parent() ? command.get_name() : "";
    for (const std::string& extra : extras)
        if (extra.size() > 1 && extra[0] == '-')
            return UsageError(name, "unknown option '" + extra + "'");
    if (!command.get_parent()) return UnknownCommand(command, extras.front());
    return UsageError(name, ExpectedOperands(command));
}

int ParseFailure(const CLI::App& app, const CLI::ParseError& e) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) return UsageError("", e.what());
    const CLI::App& command = *chosen.front();
    if (dynamic_cast<const CLI::RequiredError*>(&e)) {
        for (const CLI::Option* operand :
             command.get_options([](const CLI::Option* o) { return o->get_positional(); }))
            if (operand->count() == 0)
                return UsageError(command.get_name(), ExpectedOperands(command));
    }
    return UsageError(command.get_name(), e.what());
}

const char kSummary[] =
    "Builds, lists, verifies and extracts Quorvath installers and their bare\n"
    "archives, and compresses or decompresses raw implode streams. 'qxpack help\n"
    "COMMAND' describes each command. The exit code is 0 only on success: 1 when\n"
    "the work failed, 2 for a wrong command line.";

} // namespace

int main(int argc, char** argv) {
    CLI::App app("the vendor's tool for Quorvath installers", "qxpack");
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->column_width(26);
    app.formatter(formatter);
    app.set_version_flag("--version", "qxpack " QX_VERSION);
    // An option given twice keeps its last value; unknown words are reported below.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();
    app.require_subcommand(0, 1);

    BuildOptions build;
    ArchiveOptions list, verify, extract;
    StreamOptions implode, explode;
    struct Command {
        const char* name;
        std::function<CLI::App*()> add;
        std::function<int()> run;
        CLI::App* parser = nullptr;
    };
    Command commands[] = {
        {"build", [&] { return AddBuildCommand(app, &build); }, [&] { return RunBuild(build); }},
        {"list", [&] { return AddListCommand(app, &list); }, [&] { return RunList(list); }},
        {"verify", [&] { return AddVerifyCommand(app, &verify); },
         [&] { return RunVerify(verify); }},
        {"extract", [&] { return AddExtractCommand(app, &extract); },
         [&] { return RunExtract(extract); }},
        {"implode", [&] { return AddImplodeCommand(app, &implode); },
         [&] { return RunImplode(implode); }},
        {"explode", [&] { return AddExplodeCommand(app, &explode); },
         [&] { return RunExplode(explode); }},
    };
    // Declaring every command's options costs more than exploding a short
    // stream takes; a command line that starts with a command's name declares
    // that command alone. Help, typos and a bare option line see them all.
    const bool named =
        argc > 1 && std::any_of(std::begin(commands), std::end(commands), [&](const Command& c) {
            return std::strcmp(c.name, argv[1]) == 0;
        });
    for (Command& command : commands) {
        if (named && std::strcmp(command.name, argv[1]) != 0) continue;
        command.parser = command.add();
    }
    std::string topic;
    CLI::App* help = app.add_subcommand("help", "describe a command");
    help->footer("Describes COMMAND, or without it lists the commands.");
    help->add_option("COMMAND", topic, "the command to describe");
    for (CLI::App* sub : app.get_subcommands({})) sub->group("Commands");
    app.footer(kSummary);

    if (argc < 2) {
        std::cerr << app.help();
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) { // --help and --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return ParseFailure(app, e);
    }
    if (!app.remaining().empty()) return Leftover(app, app.remaining());
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) {
        std::cerr << app.help();
        return kExitUsage;
    }
    if (!chosen.front()->remaining().empty())
        return Leftover(*chosen.front(), chosen.front()->remaining());
    if (chosen.front() == help) {
        if (topic.empty()) {
            std::cout << formatter->make_help(&app, "qxpack", CLI::AppFormatMode::Normal);
            return kExitOk;
        }
        for (const CLI::App* sub : app.get_subcommands({}))
            if (sub->get_name() == topic) {
                std::cout << formatter->make_help(sub, "qxpack " + topic,
                                                  CLI::AppFormatMode::Normal);
                return kExitOk;
            }
        return UnknownCommand(app, topic);
    }
    for (const Command& command : commands)
        if (command.parser == chosen.front()) return command.run();
    return kExitUsage;
}

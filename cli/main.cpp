// trakmon: can this disk stream N audio tracks at once? Writes N numbered
// track files round-robin with the file cache bypassed, reads them back the
// same way, and reports the rate beside what N tracks of 44.1 kHz audio need.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/sample_format.h"
#include "cli/cli_checks.h"
#include "cli/cli_front_end.h"
#include "cli/command_line_json.h"
#include "cli/pass_runner.h"
#include "cli/session_commands.h"
#include "cli/sweep_runner.h"
#include "engine/settings.h"
#include "platform/platform.h"
#include "trakmon_version.h"

namespace {

const int exitCompleted = 0;
const int exitTestFailed = 1;
const int exitUsage = 2;

struct Options {
    uint32_t tracks = defaultTrackCount;
    uint32_t requestKBytes = defaultRequestSize >> 10;
    uint32_t writeRequestKBytes = defaultRequestSize >> 10;
    uint32_t readRequestKBytes = defaultRequestSize >> 10;
    bool json = false;
    uint32_t repeat = 1;
    uint32_t rate = 0;  // 0: not chosen
    uint32_t bits = 0;
    std::string log;
    std::string plot;
    std::string base;
};

const uint32_t maxRepeat = 100;
// The request sizes as the options give them, in KBytes.
const uint32_t requestKBytesChoices[requestSizeChoiceCount] = {32, 64, 128, 256, 512};

void addTestOptions(CLI::App* command, Options& options, bool separateRequests)
{
    CLI::Validator requestSizes =
        choiceValidator(requestKBytesChoices, requestSizeChoiceCount, "request size in KBytes");
    command->add_option("--tracks", options.tracks, "track files written or read at once")
        ->check(choiceValidator(trackCountChoices, trackCountChoiceCount, "track count"))
        ->default_val(defaultTrackCount);
    if (separateRequests) {
        command->add_option("--write-request", options.writeRequestKBytes,
                            "write request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
        command->add_option("--read-request", options.readRequestKBytes,
                            "read request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
    } else {
        command->add_option("--request", options.requestKBytes, "request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
    }
    command->add_flag("--json", options.json, "one JSON object per test instead of the report");
    command
        ->add_option("--repeat", options.repeat,
                     "passes of each test, each reported in full, then a summary: median, "
                     "minimum and maximum rate, verdicts on the slowest round of all passes. "
                     "One pass is a lottery on a busy disk: quote the median of 5 or more")
        ->check(wholeRangeValidator(1, maxRepeat, "repeat count"))
        ->default_val(1);
    command
        ->add_option("--rate", options.rate,
                     "judge the verdicts at this sample rate (mono and stereo) instead of the "
                     "report's four 44.1 kHz formats; the report stays as it is")
        ->check(choiceValidator(sampleRateChoices, sampleRateChoiceCount, "sample rate"));
    command
        ->add_option("--bits", options.bits,
                     "judge the verdicts at this word length (mono and stereo; without it 16 "
                     "and 24)")
        ->check(choiceValidator(sampleBitsChoices, sampleBitsChoiceCount, "bits per sample"));
    command
        ->add_option("--log", options.log,
                     "write one CSV line per request: pass, test, tracks, round, track, bytes, "
                     "completion and latency in microseconds")
        ->check(outputFileValidator("FILE.csv", "log"));
    command
        ->add_option("--plot", options.plot,
                     "draw every round's time through every pass against each format's budget, "
                     "as an SVG picture that a browser opens")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addBaseArgument(command, options.base);
}

// The write or the read test, or both in turn (run), passOutputs.repeat
// times, each pass shown as it ends; then the summaries. Stops at the first
// test that does not complete.
int runTests(bool write, bool read, const Options& options)
{
    PassSeries writes = newPassSeries(writeTestKind);
    PassSeries reads = newPassSeries(readTestKind);
    int status = exitCompleted;
    for (uint32_t pass = 1; pass <= passOutputs.repeat && status == exitCompleted; ++pass) {
        if (write && runPass(writes, options.base, pass, true) != testCompleted)
            status = exitTestFailed;
        if (read && status == exitCompleted &&
            runPass(reads, options.base, pass, true) != testCompleted)
            status = exitTestFailed;
    }
    if (write) finishSeries(writes, options.base, true);
    if (read) finishSeries(reads, options.base, true);
    return status;
}

// The names that the log and the plot must not take: a track file, the
// other output.
std::string outputClash(const Options& options, const std::string& path)
{
    if (path.empty()) return "";
    if (path == options.log && path == options.plot) return "the log and the plot are one file";
    char name[trackFileNameSize];
    for (uint32_t number = 1; number <= maxTrackFiles; ++number) {
        formatTrackName(name, sizeof name, options.base.c_str(), number, extensionInFileName);
        if (path == name) return std::string("it is track file ") + name;
    }
    return "";
}

// Opens the log (header written) and makes sure the plot can be written,
// before any track file is touched.
bool openOutputs(const Options& options)
{
    for (const std::string* path : {&options.log, &options.plot}) {
        std::string clash = outputClash(options, *path);
        if (clash.empty()) continue;
        std::fprintf(stderr, "trakmon: cannot write %s: %s\n", path->c_str(), clash.c_str());
        return false;
    }
    if (!options.log.empty()) {
        if (!openOutputFile(passOutputs.log, options.log, "log")) return false;
        writeOutputFile(passOutputs.log, requestLogHeader);
    }
    if (!options.plot.empty()) {
        OutputFile plot;
        if (!openOutputFile(plot, options.plot, "plot") || !closeOutputFile(plot)) return false;
        passOutputs.plotPath = options.plot;
    }
    return true;
}

// The commands of the command line, and their options as the arguments set them.
struct Commands {
    Options options;
    SessionOptions sessionOptions;
    SessionOptions capacityOptions;
    CLI::App* write = nullptr;
    CLI::App* read = nullptr;
    CLI::App* run = nullptr;
    CLI::App* sweep = nullptr;
    SessionCommands session{};
};

// Every command and option of app, each bound to its place in commands.
void defineCommands(CLI::App& app, Commands& commands)
{
    app.set_version_flag("--version", "trakmon " TRAKMON_VERSION_AND_BUILD);
    app.require_subcommand(1);
    // A base name such as /data/take.wav is a path, never a Windows-style option.
    app.allow_windows_style_options(false);

    Options& options = commands.options;
    commands.write = app.add_subcommand("write", "write test: create and write the track files");
    commands.read =
        app.add_subcommand("read", "read test: read back the track files of a write test");
    commands.run =
        app.add_subcommand("run", "write test, then read test, on the same track files");
    addTestOptions(commands.write, options, false);
    addTestOptions(commands.read, options, false);
    addTestOptions(commands.run, options, true);
    commands.sweep = app.add_subcommand(
        "sweep",
        "write and read test for every track count (1, 2, 12, 24, 36, 48, 60, 72) on BASE, "
        "then one table; states the disk space it needs first; removes nothing");
    addTestOptions(commands.sweep, options, false);
    commands.sweep->remove_option(commands.sweep->get_option("--tracks"));
    commands.session = addSessionCommands(app, commands.sessionOptions, commands.capacityOptions);
}

// Parses the arguments; false when the command ends with that, exitStatus
// then set: help, the version, or bad usage.
bool parseArguments(CLI::App& app, int argc, char** argv, int& exitStatus)
{
    try {
        app.parse(argc, argv);
        return true;
    } catch (const CLI::CallForHelp& e) {
        exitStatus = app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        exitStatus = app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        exitStatus = app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        exitStatus = exitUsage;
    }
    return false;
}

// The settings and outputs of the write, read, run and sweep commands from
// their options; false (with a message) when an output cannot be written.
bool applyTestOptions(const Options& options, bool separateRequests)
{
    TestSettings.trackCount = options.tracks;
    if (separateRequests) {
        TestSettings.writeRequestSize = options.writeRequestKBytes << 10;
        TestSettings.readRequestSize = options.readRequestKBytes << 10;
    } else {
        TestSettings.writeRequestSize = options.requestKBytes << 10;
        TestSettings.readRequestSize = options.requestKBytes << 10;
    }

    passOutputs.json = options.json;
    passOutputs.drawProgressBar = !options.json && isatty(STDERR_FILENO);
    passOutputs.repeat = options.repeat;
    passOutputs.formats = chosenVerdictFormats(options.rate, options.bits);
    return openOutputs(options);
}

// The disk tests of the command (write, read, run or sweep) with their
// transfer buffers; then the plot written and the log closed.
int runDiskTests(const Commands& commands)
{
    const Options& options = commands.options;
    readBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    writeBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    int status = exitCompleted;
    if (readBuffer == nullptr || writeBuffer == nullptr) {
        std::fprintf(stderr, "Memory Allocation Error!\n");
        status = exitTestFailed;
    } else if (commands.sweep->parsed()) {
        status = runSweep(options.base, options.requestKBytes << 10) ? exitCompleted
                                                                     : exitTestFailed;
    } else {
        status = runTests(!commands.read->parsed(), !commands.write->parsed(), options);
    }
    if (!writePlot()) status = exitTestFailed;
    if (!closeOutputFile(passOutputs.log)) status = exitTestFailed;
    if (readBuffer != nullptr) platformFreeTransferBuffer(readBuffer);
    if (writeBuffer != nullptr) platformFreeTransferBuffer(writeBuffer);
    return status;
}

int runCommand(int argc, char** argv)
{
    CLI::App app{
        "trakmon " TRAKMON_VERSION " - can this disk stream N audio tracks at once?\n"
        "Writes N numbered track files round-robin with the file cache bypassed (O_DIRECT),\n"
        "reads them back the same way, and reports the rate beside what N tracks of\n"
        "44.1 kHz audio need. The track files stay on disk. A single pass is a lottery on a\n"
        "busy disk: run --repeat 5 (or more) and quote the median.\n"
        "session runs a recorder's disk thread in real time and counts its dropouts;\n"
        "capacity finds how many tracks it keeps up with.",
        "trakmon"};
    Commands commands;
    defineCommands(app, commands);

    // Hidden: the build makes the manual page and the completion from this.
    if (argc == 2 && std::strcmp(argv[1], "--command-line-json") == 0) {
        std::puts(commandLineJson(app).c_str());
        return exitCompleted;
    }
    int status = exitCompleted;
    if (!parseArguments(app, argc, argv, status)) return status;

    if (commands.session.session->parsed()) return runSessionCommand(commands.sessionOptions);
    if (commands.session.capacity->parsed()) return runCapacityCommand(commands.capacityOptions);
    if (!applyTestOptions(commands.options, commands.run->parsed())) return exitUsage;
    return runDiskTests(commands);
}

}  // namespace

int main(int argc, char** argv)
{
    // Whatever escapes a command is said and ends it with a failure, never
    // with an abort that loses what a finished test would print.
    try {
        return runCommand(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "trakmon: internal error: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "trakmon: internal error\n");
    }
    return exitTestFailed;
}

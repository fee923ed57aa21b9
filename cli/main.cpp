// trakmon: can this disk stream N audio tracks at once? Writes N numbered
// track files round-robin with the file cache bypassed, reads them back the
// same way, and reports the rate beside what N tracks of 44.1 kHz audio need.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_front_end.h"
#include "cli/cli_output.h"
#include "cli/command_line_json.h"
#include "cli/sweep.h"
#include "engine/disk_read.h"
#include "engine/settings.h"
#include "engine/disk_write.h"
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
    std::string base;
};

// A whole decimal number of at most four digits, or false.
bool parseSmallNumber(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 4) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

std::string trackCountCheck(const std::string& text)
{
    uint32_t value;
    if (parseSmallNumber(text, value) && isTrackCountChoice(value)) return "";
    return "track count must be one of 1, 2, 12, 24, 36, 48, 60, 72 (got '" + text + "')";
}

std::string requestSizeCheck(const std::string& text)
{
    uint32_t value;
    if (parseSmallNumber(text, value) && isRequestSizeChoice(value << 10)) return "";
    return "request size must be one of 32, 64, 128, 256, 512 KBytes (got '" + text + "')";
}

std::string baseNameCheck(const std::string& text)
{
    if (text.empty()) return "the base file name is empty";
    if (text.size() > maxBaseFileName) return "the base file name is longer than 259 characters";
    return "";
}

void addTestOptions(CLI::App* command, Options& options, bool separateRequests)
{
    command->add_option("--tracks", options.tracks, "track files written or read at once")
        ->check(CLI::Validator(trackCountCheck, "1|2|12|24|36|48|60|72", "tracks"))
        ->default_val(defaultTrackCount);
    if (separateRequests) {
        command->add_option("--write-request", options.writeRequestKBytes,
                            "write request size in KBytes")
            ->check(CLI::Validator(requestSizeCheck, "32|64|128|256|512", "kbytes"))
            ->default_val(defaultRequestSize >> 10);
        command->add_option("--read-request", options.readRequestKBytes,
                            "read request size in KBytes")
            ->check(CLI::Validator(requestSizeCheck, "32|64|128|256|512", "kbytes"))
            ->default_val(defaultRequestSize >> 10);
    } else {
        command->add_option("--request", options.requestKBytes, "request size in KBytes")
            ->check(CLI::Validator(requestSizeCheck, "32|64|128|256|512", "kbytes"))
            ->default_val(defaultRequestSize >> 10);
    }
    command->add_flag("--json", options.json, "one JSON object per test instead of the report");
    command
        ->add_option("BASE", options.base,
                     "base file name; the track files are BASE with its extension replaced "
                     "by .001, .002, ...")
        ->required()
        ->check(CLI::Validator(baseNameCheck, "PATH", "base"));
}

int runOneTest(TestKind kind, const Options& options, bool firstTest)
{
    uint32_t requestSize =
        kind == writeTestKind ? TestSettings.writeRequestSize : TestSettings.readRequestSize;
    CliTestSummary summary;
    summary.kind = kind;
    summary.plan = planTest(TestSettings.trackCount, requestSize, TestSettings.transferBufferSize,
                            TestSettings.testDataBudget);
    summary.baseFileName = options.base;
    beginCliTest(options.base, !options.json && isatty(STDERR_FILENO));
    summary.outcome = kind == writeTestKind ? runWriteTest() : runReadTest();
    summary.record = &currentCliTest();
    if (options.json)
        printJsonResults(summary);
    else
        printTextResults(summary, firstTest);
    return summary.outcome == testCompleted ? exitCompleted : exitTestFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{
        "trakmon " TRAKMON_VERSION " - can this disk stream N audio tracks at once?\n"
        "Writes N numbered track files round-robin with the file cache bypassed (O_DIRECT),\n"
        "reads them back the same way, and reports the rate beside what N tracks of\n"
        "44.1 kHz audio need. The track files stay on disk.",
        "trakmon"};
    app.set_version_flag("--version", "trakmon " TRAKMON_VERSION_AND_BUILD);
    app.require_subcommand(1);
    // A base name such as /data/take.wav is a path, never a Windows-style option.
    app.allow_windows_style_options(false);

    Options options;
    CLI::App* write = app.add_subcommand("write", "write test: create and write the track files");
    CLI::App* read = app.add_subcommand("read", "read test: read back the track files of a write test");
    CLI::App* run = app.add_subcommand("run", "write test, then read test, on the same track files");
    addTestOptions(write, options, false);
    addTestOptions(read, options, false);
    addTestOptions(run, options, true);
    CLI::App* sweep = app.add_subcommand(
        "sweep",
        "write and read test for every track count (1, 2, 12, 24, 36, 48, 60, 72) on BASE, "
        "then one table; states the disk space it needs first; removes nothing");
    addTestOptions(sweep, options, false);
    sweep->remove_option(sweep->get_option("--tracks"));

    // Hidden: the build makes the manual page and the completion from this.
    if (argc == 2 && std::strcmp(argv[1], "--command-line-json") == 0) {
        std::puts(commandLineJson(app).c_str());
        return exitCompleted;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return exitUsage;
    }

    TestSettings.trackCount = options.tracks;
    if (run->parsed()) {
        TestSettings.writeRequestSize = options.writeRequestKBytes << 10;
        TestSettings.readRequestSize = options.readRequestKBytes << 10;
    } else {
        TestSettings.writeRequestSize = options.requestKBytes << 10;
        TestSettings.readRequestSize = options.requestKBytes << 10;
    }

    readBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    writeBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    int status = exitCompleted;
    if (readBuffer == nullptr || writeBuffer == nullptr) {
        std::fprintf(stderr, "Memory Allocation Error!\n");
        status = exitTestFailed;
    } else if (write->parsed()) {
        status = runOneTest(writeTestKind, options, true);
    } else if (read->parsed()) {
        status = runOneTest(readTestKind, options, true);
    } else if (sweep->parsed()) {
        bool drawBar = !options.json && isatty(STDERR_FILENO);
        status = runSweep(options.base, options.requestKBytes << 10, options.json, drawBar)
                     ? exitCompleted
                     : exitTestFailed;
    } else {
        status = runOneTest(writeTestKind, options, true);
        if (status == exitCompleted) status = runOneTest(readTestKind, options, false);
    }
    if (readBuffer != nullptr) platformFreeTransferBuffer(readBuffer);
    if (writeBuffer != nullptr) platformFreeTransferBuffer(writeBuffer);
    return status;
}

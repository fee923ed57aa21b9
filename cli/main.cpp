// trakmon: can this disk stream N audio tracks at once? Writes N numbered
// track files round-robin with the file cache bypassed, reads them back the
// same way, and reports the rate beside what N tracks of 44.1 kHz audio need.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/capacity_command.h"
#include "cli/command_line_json.h"
#include "cli/exit_status.h"
#include "cli/session_commands.h"
#include "cli/table_command.h"
#include "cli/test_commands.h"
#include "trakmon_version.h"

namespace {

// The commands of the command line, and their options as the arguments set them.
struct Commands {
    TestOptions options;
    SessionOptions sessionOptions;
    SearchOptions capacityOptions;
    SearchOptions tableOptions;
    CLI::App* session = nullptr;
    CLI::App* capacity = nullptr;
    CLI::App* table = nullptr;
    CLI::App* write = nullptr;
    CLI::App* read = nullptr;
    CLI::App* run = nullptr;
    CLI::App* sweep = nullptr;
};

// Every command and option of app, each bound to its place in commands.
void defineCommands(CLI::App& app, Commands& commands)
{
    app.set_version_flag("--version", "trakmon " TRAKMON_VERSION_AND_BUILD);
    app.require_subcommand(1);
    // A base name such as /data/take.wav is a path, never a Windows-style option.
    app.allow_windows_style_options(false);

    TestOptions& options = commands.options;
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
    commands.session = addSessionCommand(app, commands.sessionOptions);
    commands.capacity = addCapacityCommand(app, commands.capacityOptions);
    commands.table = addTableCommand(app, commands.tableOptions);
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

int runCommandLine(int argc, char** argv)
{
    CLI::App app{
        "trakmon " TRAKMON_VERSION " - can this disk stream N audio tracks at once?\n"
        "Writes N numbered track files round-robin with the file cache bypassed (O_DIRECT),\n"
        "reads them back the same way, and reports the rate beside what N tracks of\n"
        "44.1 kHz audio need. The track files stay on disk. A single pass is a lottery on a\n"
        "busy disk: run --repeat 5 (or more) and quote the median.\n"
        "session runs a recorder's disk thread in real time and counts its dropouts;\n"
        "capacity finds how many tracks it keeps up with; table, how many for every\n"
        "common format and overdub ratio.",
        "trakmon"};
    Commands commands;
    defineCommands(app, commands);

    // Hidden: the build makes the manual page and the completion from this.
    if (argc == 2 && std::strcmp(argv[1], "--command-line-json") == 0) {
        std::puts(commandLineJson(app).c_str());
        return exitSuccess;
    }
    int status = exitSuccess;
    if (!parseArguments(app, argc, argv, status)) return status;

    if (commands.session->parsed()) return runSessionCommand(commands.sessionOptions);
    if (commands.capacity->parsed()) return runCapacityCommand(commands.capacityOptions);
    if (commands.table->parsed()) return runTableCommand(commands.tableOptions);
    TestCommand command = commands.write->parsed()  ? writeCommand
                          : commands.read->parsed() ? readCommand
                          : commands.run->parsed()  ? runCommand
                                                    : sweepCommand;
    return runTestCommand(command, commands.options);
}

}  // namespace

int main(int argc, char** argv)
{
    // Whatever escapes a command is said and ends it with a failure, never
    // with an abort that loses what a finished test would print.
    try {
        return runCommandLine(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "trakmon: internal error: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "trakmon: internal error\n");
    }
    return exitFailure;
}

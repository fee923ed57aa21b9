// The options of trakmon capacity and trakmon table: the settings both
// searches share (search/search_settings.h), each option bound to its field,
// and what each command adds: capacity its one format, play ratio and take,
// table its lists of formats and modes and its picture.
#pragma once
#include <cstdint>
#include <string>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

#include "search/search_settings.h"

struct SearchOptions {
    SearchSettings settings;
    // Filled into settings once the arguments are parsed (searchSettingsOf).
    std::string cache = "bypass";
    uint32_t requestKBytes = 0;
    std::string preset;
    SampleFormat format{48000, 24, 1};   // capacity
    std::string playRatio = "1:0";       // capacity
    std::string formats = "44100/16,48000/24,96000/24";  // table
    std::string modes = "record,play,1:3";               // table
    bool json = false;
    std::string plotPath;  // table
};

CLI::App* addCapacityCommand(CLI::App& app, SearchOptions& options);
CLI::App* addTableCommand(CLI::App& app, SearchOptions& options);
// The settings the parsed options of one command choose.
SearchSettings searchSettingsOf(const SearchOptions& options, bool table);

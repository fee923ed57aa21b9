// trakmon against a real recorder on the same storage: the most tracks
// Ardour records for a take without an overrun or a lost take (searched by
// bench/ardour-take takes, with the search room's own pure search), then
// right after, on the same folder, trakmon's session at Ardour's largest
// clean and smallest failing counts, its capacity at the default headroom
// and at none (the point of failure, the recorder's own rule) and its
// table's cell; side by side, with their ratios and times. Run by hand, as
// root, on a folder of the storage to compare (bench/slow-disk mounts
// one); see bench/README.md.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/recorder_take.h"

namespace {

struct Options {
    std::string folder;
    uint32_t rate = 48000;
    uint32_t bits = 24;
    double seconds = 60;
    std::string preset = "small";
    uint32_t start = 100;
    uint32_t limit = 4096;
    std::string cache = "os";
    std::string trakmon;
    std::string take;
    bool recorderOnly = false;
    std::string jsonOut;
};

double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A command's standard output (its standard error goes to ours).
std::string runCommand(const std::string& command)
{
    std::fprintf(stderr, "recorder-agreement: %s\n", command.c_str());
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
        pclose(pipe);
    }
    return out;
}

std::string lastLine(const std::string& text)
{
    size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    size_t start = text.find_last_of('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
}

std::string shellQuoted(const std::string& text)
{
    return "'" + text + "'";
}

// The recorder's search: takes as the pure search asks for them, a take
// whose engine ran too slow run again, twice at most.
struct RecorderSearch {
    std::vector<RecorderTake> takes;
    std::vector<TrialResult> trials;
    nlohmann::json lines = nlohmann::json::array();
    uint32_t invalid = 0;
    double seconds = 0;
};

RecorderSearch searchRecorder(const Options& options)
{
    RecorderSearch search;
    double started = nowSeconds();
    SearchRules rules = recorderSearchRules(options.limit);
    for (uint32_t count; (count = nextBisectCount(rules, options.start, search.trials)) != 0;) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string line = lastLine(runCommand(
                shellQuoted(options.take) + " --folder " + shellQuoted(options.folder) + " --tracks " +
                std::to_string(count) + " --seconds " + std::to_string(options.seconds) +
                " --rate " + std::to_string(options.rate) + " --bits " + std::to_string(options.bits) +
                " --preset " + options.preset));
            RecorderTake take{};
            if (!parseRecorderTake(line, take)) {
                std::fprintf(stderr, "recorder-agreement: the take at %u did not run\n", count);
                search.seconds = nowSeconds() - started;
                return search;
            }
            search.lines.push_back(nlohmann::json::parse(line));
            TakeVerdict verdict = judgeTake(take);
            std::fprintf(stderr, "recorder-agreement: Ardour at %u: %s (engine %.0f/s)\n", count,
                         verdict == takeClean     ? "clean"
                         : verdict == takeDropped ? "dropped audio"
                                                  : "engine too slow, again",
                         take.engineRate);
            if (verdict == takeInvalid) {
                ++search.invalid;
                if (attempt < 2) continue;
            }
            search.takes.push_back(take);
            search.trials.push_back(takeTrial(take));
            break;
        }
    }
    search.seconds = nowSeconds() - started;
    return search;
}

struct Row {
    std::string what;
    std::string figure;
    uint32_t tracks;  // for the ratio; 0 for none
    double seconds;
};

// The format as session and capacity take it (table takes a list instead).
std::string formatArguments(const Options& options)
{
    return " --rate " + std::to_string(options.rate) + " --bits " + std::to_string(options.bits);
}

// One trakmon command with --json; its last line, and how long it took.
nlohmann::json runTrakmon(const Options& options, const std::string& arguments, double& seconds)
{
    double started = nowSeconds();
    std::string base = options.folder + "/trakmon-take.wav";
    std::string out = runCommand(shellQuoted(options.trakmon) + " " + arguments + " --preset " +
                                 options.preset + " --cache " + options.cache + " --json " +
                                 shellQuoted(base));
    seconds = nowSeconds() - started;
    nlohmann::json result = nlohmann::json::parse(lastLine(out), nullptr, false);
    return result.is_discarded() ? nlohmann::json() : result;  // a refusal or a crash: no figure
}

std::string countOrNothing(const nlohmann::json& value)
{
    return value.is_number() ? std::to_string(value.get<uint32_t>()) : std::string("-");
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    CLI::App app{"trakmon against Ardour on the same storage: Ardour's dropout point, then "
                 "trakmon's session, capacity and table there, side by side"};
    app.add_option("--folder", options.folder, "a folder on the storage to compare")->required();
    app.add_option("--rate", options.rate, "sample rate")->default_val(options.rate);
    app.add_option("--bits", options.bits, "bits per sample")->default_val(options.bits);
    app.add_option("--seconds", options.seconds, "every take's and trial's length")
        ->default_val(options.seconds);
    app.add_option("--preset", options.preset, "small, medium or large, for both")
        ->check(CLI::IsMember({"small", "medium", "large"}))
        ->default_val(options.preset);
    app.add_option("--start", options.start, "the first count Ardour takes")->default_val(options.start);
    app.add_option("--limit", options.limit, "the most tracks Ardour is asked for")
        ->default_val(options.limit);
    app.add_option("--cache", options.cache, "trakmon's path: os (as Ardour writes) or bypass")
        ->check(CLI::IsMember({"os", "bypass"}))
        ->default_val(options.cache);
    app.add_option("--trakmon", options.trakmon, "the trakmon to run")->required();
    app.add_option("--take", options.take, "bench/ardour-take")->required();
    app.add_flag("--recorder-only", options.recorderOnly, "Ardour's search alone");
    app.add_option("--json-out", options.jsonOut, "every figure as JSON");
    CLI11_PARSE(app, argc, argv);

    RecorderSearch recorder = searchRecorder(options);
    SearchAnswer answer = searchAnswer(recorderSearchRules(options.limit), recorder.trials);
    std::vector<Row> rows;
    char figure[200];
    std::snprintf(figure, sizeof figure, "%u clean, %s failed (%zu takes, %u rerun, engine moved %.1f %%)",
                  answer.tracks, answer.firstFailed ? std::to_string(answer.firstFailed).c_str() : "none",
                  recorder.takes.size(), recorder.invalid, 100 * engineDrift(recorder.takes));
    rows.push_back({"Ardour " + options.preset, figure, answer.tracks, recorder.seconds});
    nlohmann::json results = {{"recorder", {{"clean", answer.tracks},
                                            {"failed", answer.firstFailed},
                                            {"engineDriftPercent", 100 * engineDrift(recorder.takes)},
                                            {"seconds", recorder.seconds},
                                            {"takes", recorder.lines}}}};
    Bracket recorderBracket{answer.tracks, answer.firstFailed, engineDrift(recorder.takes)};
    uint32_t defaultFigure = 0;
    if (!options.recorderOnly && answer.tracks > 0) {
        std::string seconds = std::to_string(options.seconds);
        for (uint32_t count : {answer.tracks, answer.firstFailed}) {
            if (count == 0) continue;
            double took = 0;
            nlohmann::json session = runTrakmon(
                options, "session --tracks " + std::to_string(count) + " --seconds " + seconds +
                             formatArguments(options),
                took);
            std::string outcome = session.is_object() ? session["outcome"].get<std::string>() : "error";
            rows.push_back({"trakmon session at " + std::to_string(count), outcome, 0, took});
            results["sessions"].push_back({{"tracks", count}, {"seconds", took}, {"session", session}});
        }
        for (const char* headroom : {"50", "0"}) {
            double took = 0;
            nlohmann::json capacity = runTrakmon(
                options, std::string("capacity --seconds ") + seconds + " --headroom " + headroom +
                             formatArguments(options),
                took);
            uint32_t tracks = capacity.is_object() && capacity["recordTracks"].is_number()
                                  ? capacity["recordTracks"].get<uint32_t>()
                                  : 0;
            std::string text = capacity.is_object() ? capacity["outcome"].get<std::string>() + " " +
                                                          std::to_string(tracks) + ", " +
                                                          countOrNothing(capacity["firstFailedRecordTracks"]) +
                                                          " failed"
                                                    : "error";
            rows.push_back({std::string("trakmon capacity, ") + headroom + " % headroom", text, tracks, took});
            results["capacity"][headroom] = {{"seconds", took}, {"result", capacity}};
            if (std::string(headroom) == "50") defaultFigure = tracks;
            if (std::string(headroom) == "0" && capacity.is_object()) {
                double drift = capacity["drift"].is_object()
                                   ? capacity["drift"]["percent"].get<double>() / 100
                                   : 0;
                uint32_t failed = capacity["firstFailedRecordTracks"].is_number()
                                      ? capacity["firstFailedRecordTracks"].get<uint32_t>()
                                      : 0;
                Agreement agreement = bracketAgreement(Bracket{tracks, failed, drift}, recorderBracket, 0.10);
                results["agreementAtNoHeadroom"] = {{"overlap", agreement.overlap},
                                                    {"lowerRatio", agreement.lowerRatio},
                                                    {"agrees", agreement.agrees}};
            }
        }
        double took = 0;
        nlohmann::json table = runTrakmon(
            options,
            "table --formats " + std::to_string(options.rate) + "/" + std::to_string(options.bits) +
                " --modes record",
            took);
        uint32_t cell = 0;
        std::string text = "error";
        if (table.is_object() && table["cells"].is_array() && !table["cells"].empty()) {
            const nlohmann::json& only = table["cells"][0];
            cell = only["units"].is_number() ? only["units"].get<uint32_t>() : 0;
            text = only["outcome"].get<std::string>() + " " + std::to_string(cell);
        }
        rows.push_back({"trakmon table cell", text, cell, took});
        results["table"] = {{"seconds", took}, {"result", table}};
    }
    std::printf("%-34s  %-60s  %8s  %8s\n", "", "", "vs Ardour", "time");
    for (const Row& row : rows) {
        char ratio[16] = "";
        if (row.tracks > 0 && answer.tracks > 0)
            std::snprintf(ratio, sizeof ratio, "%.2f", static_cast<double>(row.tracks) / answer.tracks);
        std::printf("%-34s  %-60s  %8s  %6.0f s\n", row.what.c_str(), row.figure.c_str(), ratio, row.seconds);
    }
    if (results.contains("agreementAtNoHeadroom")) {
        const nlohmann::json& agreement = results["agreementAtNoHeadroom"];
        std::printf("At no headroom: brackets %s once widened by their drift, lower ends %.2f: %s.\n",
                    agreement["overlap"].get<bool>() ? "overlap" : "do not overlap",
                    agreement["lowerRatio"].get<double>(),
                    agreement["agrees"].get<bool>() ? "agree" : "do not agree");
    }
    if (defaultFigure > 0 && answer.firstFailed > 0)
        std::printf("The default figure (%u) %s the count at which Ardour drops audio (%u).\n",
                    defaultFigure, defaultFigure < answer.firstFailed ? "stays below" : "DOES NOT stay below",
                    answer.firstFailed);
    if (!options.jsonOut.empty()) std::ofstream(options.jsonOut) << results.dump(2) << "\n";
    return 0;
}

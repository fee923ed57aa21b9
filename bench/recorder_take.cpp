#include "bench/recorder_take.h"

#include <algorithm>
#include <nlohmann/json.hpp>

bool parseRecorderTake(const std::string& line, RecorderTake& take)
{
    nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_object()) return false;
    for (const char* field : {"tracks", "play", "wallSeconds", "engineRate", "nominalRate",
                              "capturedXruns", "tracksWithoutRegion", "underrunTracks"})
        if (!json.contains(field) || !json[field].is_number()) return false;
    take = RecorderTake{json["tracks"].get<uint32_t>(),
                        json["play"].get<uint32_t>(),
                        json["wallSeconds"].get<double>(),
                        json["engineRate"].get<double>(),
                        json["nominalRate"].get<uint32_t>(),
                        json["capturedXruns"].get<uint64_t>(),
                        json["tracksWithoutRegion"].get<uint32_t>(),
                        json["underrunTracks"].get<uint32_t>()};
    return true;
}

TakeVerdict judgeTake(const RecorderTake& take)
{
    if (take.capturedXruns > 0 || take.tracksWithoutRegion > 0 || take.underrunTracks > 0)
        return takeDropped;  // a dropout counts, however fast the engine ran
    if (!(take.engineRate >= leastEngineShare * take.nominalRate)) return takeInvalid;
    return takeClean;
}

TrialResult takeTrial(const RecorderTake& take)
{
    TrialResult trial{};
    trial.count = take.tracks > 0 ? take.tracks : take.played;
    trial.passed = judgeTake(take) == takeClean;
    return trial;
}

SearchRules recorderSearchRules(uint32_t limit)
{
    SearchRules rules{};
    rules.limit = limit;
    rules.repeat = 1;
    rules.closeEnough = 0.05;
    return rules;
}

Agreement bracketAgreement(const Bracket& trakmon, const Bracket& recorder, double lowTolerance)
{
    auto low = [](const Bracket& bracket) { return bracket.passed * (1 - bracket.drift); };
    auto high = [](const Bracket& bracket) {
        return bracket.failed == 0 ? 1e300 : bracket.failed * (1 + bracket.drift);
    };
    Agreement agreement{};
    agreement.overlap = low(trakmon) <= high(recorder) && low(recorder) <= high(trakmon);
    agreement.lowerRatio =
        recorder.passed == 0 ? 0 : static_cast<double>(trakmon.passed) / recorder.passed;
    agreement.agrees = agreement.overlap && recorder.passed > 0 &&
                       agreement.lowerRatio >= 1 - lowTolerance &&
                       agreement.lowerRatio <= 1 + lowTolerance;
    return agreement;
}

double engineDrift(const std::vector<RecorderTake>& takes)
{
    double slowest = 0, fastest = 0;
    for (const RecorderTake& take : takes) {
        if (!(take.engineRate > 0)) continue;
        slowest = slowest == 0 ? take.engineRate : std::min(slowest, take.engineRate);
        fastest = std::max(fastest, take.engineRate);
    }
    return slowest > 0 ? fastest / slowest - 1 : 0;
}

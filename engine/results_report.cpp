#include "engine/results_report.h"

#include <cstdio>
#include <cstring>

#include "engine/front_end.h"

const TrackFormat trackFormats[trackFormatCount] = {
    {"Mono 16 Bit", 88200},
    {"Mono 24 Bit", 132300},
    {"Stereo 16 Bit", 176400},
    {"Stereo 24 Bit", 264600},
};

#define RULE_LINE "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - -"

uint32_t transferRate(uint32_t totalBytes, uint32_t elapsedMs)
{
    return totalBytes / (elapsedMs == 0 ? 1u : elapsedMs);
}

double trackConfigurationRate(uint32_t trackCount, uint32_t bytesPerSecond)
{
    return static_cast<double>(trackCount) * bytesPerSecond * 0.001;
}

// Each piece is formatted into a scratch buffer, then appended.
static void appendPiece(ResultsReport& report, const char* piece)
{
    size_t used = std::strlen(report.text);
    std::snprintf(report.text + used, sizeof report.text - used, "%s", piece);
}

static void appendTrackLine(ResultsReport& report, uint32_t trackCount, const TrackFormat& format)
{
    char scratch[160];
    std::snprintf(scratch, sizeof scratch, "%u Track(s) Of 44100 %s Files =  %#2.2f KBytes/Sec\n",
                  static_cast<unsigned>(trackCount), format.name,
                  trackConfigurationRate(trackCount, format.bytesPerSecond));
    appendPiece(report, scratch);
}

ResultsReport formatResultsReport(const ResultsInputs& in)
{
    ResultsReport report;
    report.text[0] = '\0';
    char scratch[400];
    bool write = in.kind == writeTestKind;

    std::snprintf(scratch, sizeof scratch,
                  "Total Bytes %s = %u\n\nTotal Time In Milliseconds = %u\n\n" RULE_LINE
                  "\nActual Transfer Rate = %u KBytes/Sec\n" RULE_LINE,
                  write ? "Written" : "Read", static_cast<unsigned>(in.totalBytes),
                  static_cast<unsigned>(in.elapsedMs),
                  static_cast<unsigned>(transferRate(in.totalBytes, in.elapsedMs)));
    appendPiece(report, scratch);

    std::snprintf(scratch, sizeof scratch, "\n\n%s Request Size = %u KBytes",
                  write ? "Write" : "Read", static_cast<unsigned>(in.requestSize >> 10));
    appendPiece(report, scratch);

    std::snprintf(scratch, sizeof scratch, "\n\nIndividual File Size = %u Bytes",
                  static_cast<unsigned>(in.perFileSize));
    appendPiece(report, scratch);

    appendPiece(report, "\n\nGeneral Track Configuration Transfer Rates:\n" RULE_LINE "\n");
    appendTrackLine(report, in.trackCount, trackFormats[0]);
    appendTrackLine(report, in.trackCount, trackFormats[1]);
    appendPiece(report, "\n");
    appendTrackLine(report, in.trackCount, trackFormats[2]);
    appendTrackLine(report, in.trackCount, trackFormats[3]);
    return report;
}

const char* resultsCaption(TestKind kind)
{
    return kind == writeTestKind ? "Disk Write Test Results" : "Disk Read Test Results";
}

void showResultsReport(const FrontEnd& frontEnd, const ResultsInputs& inputs)
{
    ResultsReport report = formatResultsReport(inputs);
    frontEnd.showResultsBox(frontEnd.context, inputs, report.text, resultsCaption(inputs.kind));
}

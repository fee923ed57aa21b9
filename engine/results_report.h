// The results text shown after a completed timed pass.
#pragma once
#include <cstdint>

enum TestKind { writeTestKind, readTestKind };

struct ResultsInputs {
    TestKind kind;
    uint32_t totalBytes;
    uint32_t elapsedMs;
    uint32_t requestSize;  // bytes
    uint32_t perFileSize;
    uint32_t trackCount;
};

// Room for the longest report: 735 characters with the figures a test can
// produce, 806 with every input at its 32-bit maximum (a write report; the
// read report is 4 shorter), and the terminator.
const uint32_t resultsReportSize = 1024;

struct ResultsReport {
    char text[resultsReportSize];
};

// Bytes per second of one 44.1 kHz track, in report order.
const uint32_t trackFormatCount = 4;
struct TrackFormat {
    const char* name;  // as the report writes it, e.g. "Mono 16 Bit"
    uint32_t bytesPerSecond;
};
extern const TrackFormat trackFormats[trackFormatCount];

// Bytes per millisecond; a pass of 0 ms is taken as 1 ms.
uint32_t transferRate(uint32_t totalBytes, uint32_t elapsedMs);
// KBytes/Sec (1000 bytes) that trackCount tracks of a format need.
double trackConfigurationRate(uint32_t trackCount, uint32_t bytesPerSecond);

ResultsReport formatResultsReport(const ResultsInputs& inputs);
const char* resultsCaption(TestKind kind);
struct FrontEnd;
// Formats the report and shows it in the front end's results box.
void showResultsReport(const FrontEnd& frontEnd, const ResultsInputs& inputs);

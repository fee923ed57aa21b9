#include "analysis/round_record.h"

#include <cstdio>

const char requestLogHeader[] = "pass,test,tracks,round,track,bytes,time_us,latency_us\n";

// Nanoseconds as microseconds with three exact decimals.
static void appendMicroseconds(std::string& text, uint64_t ns)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%llu.%03u", static_cast<unsigned long long>(ns / 1000),
                  static_cast<unsigned>(ns % 1000));
    text += digits;
}

std::string requestLogLines(uint32_t pass, TestKind kind, uint32_t trackCount,
                            uint32_t requestSize, const PassTimings& timings)
{
    std::string lines;
    uint64_t previous = timings.startNs;
    for (size_t i = 0; i < timings.requestEndNs.size(); ++i) {
        char fields[96];
        std::snprintf(fields, sizeof fields, "%u,%s,%u,%u,%u,%u,", static_cast<unsigned>(pass),
                      kind == writeTestKind ? "write" : "read", static_cast<unsigned>(trackCount),
                      static_cast<unsigned>(i / trackCount + 1),
                      static_cast<unsigned>(i % trackCount + 1),
                      static_cast<unsigned>(requestSize));
        lines += fields;
        uint64_t end = timings.requestEndNs[i];
        appendMicroseconds(lines, end - timings.startNs);
        lines += ',';
        appendMicroseconds(lines, end - previous);
        lines += '\n';
        previous = end;
    }
    return lines;
}

static double ms(uint64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

SvgChart roundChart(const std::string& title, const std::vector<PlottedPass>& passes,
                    uint32_t trackCount, const PassAnalysis& formats)
{
    SvgChart chart;
    chart.title = title;
    chart.x.label = "time through the pass when the round ended (ms)";
    chart.y.label = "round time (ms, logarithmic)";
    chart.y.logarithmic = true;
    // A legend entry for each pass while they fit on one line.
    const bool legend = passes.size() <= 12;
    ChartMark slowest = {{0, 0}, ""};
    for (const PlottedPass& pass : passes) {
        ChartSeries series;
        if (legend) series.name = "pass " + std::to_string(pass.number);
        const std::vector<uint64_t>& ends = pass.timings.requestEndNs;
        std::vector<uint64_t> rounds = roundDurations(pass.timings.startNs, ends, trackCount);
        for (size_t r = 0; r < rounds.size(); ++r) {
            ChartPoint point = {ms(ends[(r + 1) * trackCount - 1] - pass.timings.startNs),
                                ms(rounds[r])};
            series.points.push_back(point);
            if (point.y > slowest.at.y) {
                slowest.at = point;
                char label[80];
                std::snprintf(label, sizeof label, "slowest round %.3f ms (pass %u)", point.y,
                              static_cast<unsigned>(pass.number));
                slowest.label = label;
            }
        }
        chart.series.push_back(series);
    }
    if (!slowest.label.empty()) chart.marks.push_back(slowest);
    for (uint32_t i = 0; i < formats.formatCount; ++i) {
        const FormatAnswer& answer = formats.formats[i];
        char label[96];
        std::snprintf(label, sizeof label, "%s: budget %.3f ms", answer.name, ms(answer.budgetNs));
        chart.references.push_back({ms(answer.budgetNs), label, ""});
    }
    return chart;
}

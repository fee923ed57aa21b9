#include "analysis/bar_chart.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/svg_chart.h"

namespace {

const char* const barColours[] = {"#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b"};
const size_t barColourCount = sizeof barColours / sizeof barColours[0];

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string text(double x, double y, const char* anchor, const std::string& words,
                 const std::string& extra = "")
{
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" + anchor +
           "\"" + extra + ">" + escapeXmlText(words) + "</text>\n";
}

std::string rect(double x, double y, double width, double height, const std::string& attributes)
{
    return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) +
           "\" height=\"" + number(height) + "\" " + attributes + "/>\n";
}

// A bar's label in lines of whole words, each as wide as the bar at most (a
// 10-pixel sans-serif figure is about 6 pixels wide), so that neighbours'
// labels never run into each other; a word wider than the bar keeps a line.
std::vector<std::string> labelLines(const std::string& label, double width)
{
    const double charWidth = 6.0;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < label.size()) {
        size_t end = label.find(' ', start);
        if (end == std::string::npos) end = label.size();
        std::string word = label.substr(start, end - start);
        if (!lines.empty() && (lines.back().size() + 1 + word.size()) * charWidth <= width)
            lines.back() += " " + word;
        else
            lines.push_back(word);
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string svgBarChartDocument(const BarChart& chart)
{
    const double left = 84, right = chart.width - 28.0, top = 70;
    const double bottom = chart.height - 56.0 - 16.0 * chart.notes.size();
    double highest = 0;
    for (const BarGroup& group : chart.groups)
        for (const Bar& bar : group.bars) highest = std::max({highest, bar.value, bar.mark});
    std::vector<double> ticks = chartTicks(0, highest > 0 ? highest * 1.12 : 1, false);
    double yMax = ticks.empty() ? 1 : std::max(ticks.back(), highest * 1.12);
    auto pixelY = [&](double value) { return bottom - (bottom - top) * value / yMax; };

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                      number(chart.width) + "\" height=\"" + number(chart.height) +
                      "\" viewBox=\"0 0 " + number(chart.width) + " " + number(chart.height) +
                      "\">\n<g font-family=\"sans-serif\" font-size=\"11\">\n";
    out += rect(0, 0, chart.width, chart.height, "fill=\"#fff\"");
    out += text(chart.width / 2.0, 22, "middle", chart.title, " font-size=\"14\" font-weight=\"bold\"");
    for (double tick : ticks) {
        double y = pixelY(tick);
        out += "<line x1=\"" + number(left) + "\" y1=\"" + number(y) + "\" x2=\"" + number(right) +
               "\" y2=\"" + number(y) + "\" stroke=\"#e4e4e4\"/>\n";
        char label[32];
        std::snprintf(label, sizeof label, "%g", tick);
        out += text(left - 6, y + 4, "end", label);
    }
    double middle = (top + bottom) / 2;
    out += text(22, middle, "middle", chart.yLabel,
                " transform=\"rotate(-90 22 " + number(middle) + ")\"");
    // The legend above the plot: the series, then the dash.
    double legendX = left;
    for (size_t s = 0; s < chart.series.size(); ++s) {
        out += rect(legendX, 38, 12, 12, std::string("fill=\"") + barColours[s % barColourCount] + "\"");
        out += text(legendX + 16, 48, "start", chart.series[s]);
        legendX += 24 + 7.0 * chart.series[s].size();
    }
    if (!chart.markName.empty()) {
        out += "<line x1=\"" + number(legendX) + "\" y1=\"44\" x2=\"" + number(legendX + 14) +
               "\" y2=\"44\" stroke=\"#000\" stroke-width=\"2\"/>\n";
        out += text(legendX + 18, 48, "start", chart.markName);
    }
    size_t groups = std::max<size_t>(1, chart.groups.size());
    double groupWidth = (right - left) / groups;
    for (size_t g = 0; g < chart.groups.size(); ++g) {
        const BarGroup& group = chart.groups[g];
        double x0 = left + g * groupWidth;
        size_t bars = std::max<size_t>(1, group.bars.size());
        double barWidth = groupWidth * 0.8 / bars;
        for (size_t b = 0; b < group.bars.size(); ++b) {
            const Bar& bar = group.bars[b];
            double x = x0 + groupWidth * 0.1 + b * barWidth;
            std::string colour = barColours[b % barColourCount];
            double labelY = bottom - 4;
            if (bar.value >= 0) {
                double y = pixelY(bar.value);
                out += rect(x + 2, y, barWidth - 4, bottom - y,
                            "fill=\"" + colour + "\"" + (bar.faint ? " fill-opacity=\"0.3\"" : ""));
                labelY = y - 4;
            }
            if (bar.mark >= 0) {
                double y = pixelY(bar.mark);
                out += "<line x1=\"" + number(x) + "\" y1=\"" + number(y) + "\" x2=\"" +
                       number(x + barWidth) + "\" y2=\"" + number(y) +
                       "\" stroke=\"#000\" stroke-width=\"2\"/>\n";
                labelY = std::min(labelY, y - 4);
            }
            std::vector<std::string> lines = labelLines(bar.label, barWidth);
            for (size_t l = 0; l < lines.size(); ++l)
                out += text(x + barWidth / 2, labelY - 11.0 * (lines.size() - 1 - l), "middle",
                            lines[l], " font-size=\"10\"");
        }
        out += text(x0 + groupWidth / 2, bottom + 18, "middle", group.category);
    }
    out += "<rect x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" +
           number(right - left) + "\" height=\"" + number(bottom - top) +
           "\" fill=\"none\" stroke=\"#444\"/>\n";
    for (size_t n = 0; n < chart.notes.size(); ++n)
        out += text(left, bottom + 44 + 16.0 * n, "start", chart.notes[n]);
    out += "</g>\n</svg>\n";
    return out;
}

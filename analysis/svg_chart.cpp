#include "analysis/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

static const char* const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e",
                                      "#9467bd", "#8c564b", "#e377c2", "#17becf"};
static const uint32_t paletteSize = sizeof palette / sizeof palette[0];

// Room around the plot area: tick labels and the y label on the left, the
// title and the legend above, tick labels and the x label below.
static const double marginLeft = 84;
static const double marginRight = 28;
static const double marginTop = 58;
static const double marginBottom = 56;

// Bytes that continue a UTF-8 sequence of the lead byte at text[at]; 0 when
// the sequence there is not valid UTF-8 or not allowed in XML.
static size_t validSequenceLength(const std::string& text, size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 2;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 3;
    else return 0;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    if (at + length >= text.size()) return 0;  // cut short
    for (size_t i = 1; i <= length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[at + i]);
        unsigned char min = i == 1 ? low : 0x80, max = i == 1 ? high : 0xBF;
        if (c < min || c > max) return 0;
    }
    // U+FFFE and U+FFFF are not XML characters.
    if (lead == 0xEF && static_cast<unsigned char>(text[at + 1]) == 0xBF &&
        static_cast<unsigned char>(text[at + 2]) >= 0xBE)
        return 0;
    return length;
}

std::string escapeXmlText(const std::string& text)
{
    std::string safe;
    for (size_t at = 0; at < text.size(); ++at) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        switch (c) {
        case '&': safe += "&amp;"; continue;
        case '<': safe += "&lt;"; continue;
        case '>': safe += "&gt;"; continue;
        case '"': safe += "&quot;"; continue;
        case '\'': safe += "&apos;"; continue;
        default: break;
        }
        if (c < 0x80) {
            // Control characters other than tab and line breaks are not XML.
            safe += c < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : static_cast<char>(c);
            continue;
        }
        size_t length = validSequenceLength(text, at);
        if (length == 0) {
            safe += '?';
            continue;
        }
        safe.append(text, at, length + 1);
        at += length;
    }
    return safe;
}

// 1, 2 or 5 times a power of ten, at least raw.
static double niceStep(double raw)
{
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double fraction = raw / power;
    double step = fraction <= 1.0 ? 1.0 : fraction <= 2.0 ? 2.0 : fraction <= 5.0 ? 5.0 : 10.0;
    return step * power;
}

// The 1-2-5 value next to value, downwards or upwards.
static double niceBound(double value, bool up)
{
    double power = std::pow(10.0, std::floor(std::log10(value)));
    const double steps[] = {1.0, 2.0, 5.0, 10.0};
    if (up) {
        for (double step : steps)
            if (step * power >= value * (1 - 1e-12)) return step * power;
        return 10.0 * power;
    }
    for (int i = 3; i >= 0; --i)
        if (steps[i] * power <= value * (1 + 1e-12)) return steps[i] * power;
    return power;
}

std::vector<double> chartTicks(double min, double max, bool logarithmic)
{
    std::vector<double> ticks;
    if (!(max > min)) return ticks;
    if (logarithmic) {
        if (min <= 0) return ticks;
        bool fine = std::log10(max / min) < 3.0;
        for (double power = std::pow(10.0, std::floor(std::log10(min))); power <= max * 1.000001;
             power *= 10.0)
            for (double step : {1.0, 2.0, 5.0}) {
                if (step != 1.0 && !fine) continue;
                double value = step * power;
                if (value >= min * 0.999999 && value <= max * 1.000001) ticks.push_back(value);
            }
        return ticks;
    }
    double step = niceStep((max - min) / 5.0);
    for (double k = std::ceil(min / step - 1e-9); k * step <= max + step * 1e-9; k += 1.0) {
        double value = k * step;
        ticks.push_back(std::fabs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

static void chooseRange(const ChartAxis& axis, std::vector<double> values, double& min, double& max)
{
    if (axis.min < axis.max) {
        min = axis.min;
        max = axis.max;
        return;
    }
    // Only finite values count, and on a log axis only positive ones.
    bool logarithmic = axis.logarithmic;
    values.erase(std::remove_if(values.begin(), values.end(),
                                [=](double v) {
                                    return !std::isfinite(v) || (logarithmic && v <= 0);
                                }),
                 values.end());
    if (values.empty()) {
        min = axis.logarithmic ? 1.0 : 0.0;
        max = axis.logarithmic ? 10.0 : 1.0;
        return;
    }
    double low = *std::min_element(values.begin(), values.end());
    double high = *std::max_element(values.begin(), values.end());
    if (axis.logarithmic) {
        // Headroom above the highest value for the label of a line there.
        min = niceBound(low, false);
        max = niceBound(high * 1.2, true);
        if (!(max > min)) max = min * 10.0;
        return;
    }
    if (low > 0) low = 0;
    if (high < 0) high = 0;
    if (!(high > low)) high = low + 1.0;
    // Ends on a finer step than the ticks', so that little room is lost.
    double step = niceStep((high - low) / 10.0);
    min = std::floor(low / step + 1e-9) * step;
    max = std::ceil(high / step - 1e-9) * step;
}

ChartFrame chartFrame(const SvgChart& chart)
{
    std::vector<double> xs, ys;
    for (const ChartSeries& series : chart.series)
        for (const ChartPoint& point : series.points) {
            xs.push_back(point.x);
            ys.push_back(point.y);
        }
    for (const ChartReferenceLine& line : chart.references) ys.push_back(line.y);
    for (const ChartMark& mark : chart.marks) {
        xs.push_back(mark.at.x);
        ys.push_back(mark.at.y);
    }
    ChartFrame frame;
    frame.left = marginLeft;
    frame.top = marginTop;
    frame.right = std::max<double>(chart.width, marginLeft + marginRight + 100) - marginRight;
    frame.bottom = std::max<double>(chart.height, marginTop + marginBottom + 100) - marginBottom;
    frame.xLogarithmic = chart.x.logarithmic;
    frame.yLogarithmic = chart.y.logarithmic;
    chooseRange(chart.x, xs, frame.xMin, frame.xMax);
    chooseRange(chart.y, ys, frame.yMin, frame.yMax);
    return frame;
}

// Where value lies between min and max, 0 to 1, held inside the range.
static double axisFraction(double value, double min, double max, bool logarithmic)
{
    double fraction;
    if (logarithmic)
        fraction = value > 0 ? std::log(value / min) / std::log(max / min) : 0.0;
    else
        fraction = (value - min) / (max - min);
    if (!(fraction >= 0)) return 0;
    return std::min(fraction, 1.0);
}

double chartPixelX(const ChartFrame& frame, double x)
{
    return frame.left + axisFraction(x, frame.xMin, frame.xMax, frame.xLogarithmic) *
                            (frame.right - frame.left);
}

double chartPixelY(const ChartFrame& frame, double y)
{
    return frame.bottom - axisFraction(y, frame.yMin, frame.yMax, frame.yLogarithmic) *
                              (frame.bottom - frame.top);
}

static std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

static std::string tickLabel(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

static std::string textElement(double x, double y, const char* anchor, const std::string& text,
                               const char* extra = "")
{
    return std::string("<text x=\"") + number(x) + "\" y=\"" + number(y) +
           "\" text-anchor=\"" + anchor + "\"" + extra + ">" + escapeXmlText(text) + "</text>\n";
}

static std::string lineElement(double x1, double y1, double x2, double y2,
                               const std::string& stroke, const char* extra = "")
{
    return std::string("<line x1=\"") + number(x1) + "\" y1=\"" +
           number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" + number(y2) + "\" stroke=\"" +
           escapeXmlText(stroke) + "\"" + extra + "/>\n";
}

static std::string axesAndTicks(const SvgChart& chart, const ChartFrame& frame)
{
    std::string out;
    for (double tick : chartTicks(frame.xMin, frame.xMax, frame.xLogarithmic)) {
        double x = chartPixelX(frame, tick);
        out += lineElement(x, frame.top, x, frame.bottom, "#e4e4e4");
        out += textElement(x, frame.bottom + 16, "middle", tickLabel(tick));
    }
    for (double tick : chartTicks(frame.yMin, frame.yMax, frame.yLogarithmic)) {
        double y = chartPixelY(frame, tick);
        out += lineElement(frame.left, y, frame.right, y, "#e4e4e4");
        out += textElement(frame.left - 6, y + 4, "end", tickLabel(tick));
    }
    out += "<rect x=\"" + number(frame.left) + "\" y=\"" + number(frame.top) +
           "\" width=\"" + number(frame.right - frame.left) + "\" height=\"" +
           number(frame.bottom - frame.top) + "\" fill=\"none\" stroke=\"#444\"/>\n";
    out += textElement((frame.left + frame.right) / 2, frame.bottom + 40, "middle",
                       chart.x.label);
    double middle = (frame.top + frame.bottom) / 2;
    std::string rotate = " transform=\"rotate(-90 22 " + number(middle) + ")\"";
    out += textElement(22, middle, "middle", chart.y.label, rotate.c_str());
    return out;
}

static std::string referenceLines(const SvgChart& chart, const ChartFrame& frame)
{
    std::string out;
    // Labels of lines closer than a text line alternate between the right and
    // the left end, so that neighbours do not overwrite each other.
    std::vector<size_t> order(chart.references.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return chart.references[a].y < chart.references[b].y;
    });
    const double textLine = 13;
    double lastRightY = 1e9, lastLeftY = 1e9;
    for (size_t index : order) {
        const ChartReferenceLine& line = chart.references[index];
        double y = chartPixelY(frame, line.y);
        std::string colour = line.colour.empty() ? "#777" : line.colour;
        out += lineElement(frame.left, y, frame.right, y, colour,
                           " stroke-dasharray=\"6 4\"");
        bool right = std::fabs(lastRightY - y) >= textLine ||
                     std::fabs(lastLeftY - y) < textLine;
        double labelY = y - 4;
        if (right) {
            // Both ends taken: below the line instead of above it.
            if (std::fabs(lastRightY - y) < textLine) labelY = y + textLine - 2;
            lastRightY = y;
        } else {
            lastLeftY = y;
        }
        std::string fill = " fill=\"" + escapeXmlText(colour) + "\"";
        out += textElement(right ? frame.right - 4 : frame.left + 4, labelY,
                           right ? "end" : "start", line.label, fill.c_str());
    }
    return out;
}

static std::string seriesAndLegend(const SvgChart& chart, const ChartFrame& frame)
{
    std::string out;
    double legendX = frame.left;
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const ChartSeries& series = chart.series[s];
        std::string colour = series.colour.empty() ? palette[s % paletteSize] : series.colour;
        std::string stroke = escapeXmlText(colour);
        if (series.joined && series.points.size() > 1) {
            out += "<polyline fill=\"none\" stroke-width=\"1\" stroke=\"" +
                   stroke + "\" points=\"";
            for (size_t i = 0; i < series.points.size(); ++i) {
                if (i > 0) out += ' ';
                out += number(chartPixelX(frame, series.points[i].x)) + "," +
                       number(chartPixelY(frame, series.points[i].y));
            }
            out += "\"/>\n";
        }
        for (const ChartPoint& point : series.points)
            out += "<circle cx=\"" + number(chartPixelX(frame, point.x)) +
                   "\" cy=\"" + number(chartPixelY(frame, point.y)) + "\" r=\"2.5\" fill=\"" +
                   stroke + "\"/>\n";
        if (series.name.empty()) continue;
        out += "<rect x=\"" + number(legendX) + "\" y=\"" +
               number(frame.top - 20) + "\" width=\"12\" height=\"12\" fill=\"" + stroke + "\"/>\n";
        out += textElement(legendX + 16, frame.top - 10, "start", series.name);
        legendX += 28 + 7.0 * static_cast<double>(series.name.size());
    }
    return out;
}

static std::string marks(const SvgChart& chart, const ChartFrame& frame)
{
    std::string out;
    for (const ChartMark& mark : chart.marks) {
        double x = chartPixelX(frame, mark.at.x);
        double y = chartPixelY(frame, mark.at.y);
        // A ring of a diamond around the point, its label beside it, kept
        // inside the plot area.
        out += "<path d=\"M" + number(x) + " " + number(y - 8) + " L" +
               number(x + 8) + " " + number(y) + " L" + number(x) + " " + number(y + 8) + " L" +
               number(x - 8) + " " + number(y) + " Z\" fill=\"none\" stroke=\"#000\" "
               "stroke-width=\"1.5\"/>\n";
        bool leftSide = x > (frame.left + frame.right) / 2;
        double labelY = y - 10 < frame.top + 12 ? y + 20 : y - 10;
        out += textElement(leftSide ? x - 10 : x + 10, labelY,
                           leftSide ? "end" : "start", mark.label);
    }
    return out;
}

std::string svgChartElement(const SvgChart& chart, double top)
{
    ChartFrame frame = chartFrame(chart);
    std::string width = number(chart.width), height = number(chart.height);
    // A group rather than a nested <svg>, and no class attributes: simpler
    // renderers (ImageMagick's own) take neither nested documents nor more
    // than a few hundred classes.
    std::string out = "<g transform=\"translate(0 " + number(top) +
                      ")\" font-family=\"sans-serif\" font-size=\"11\">\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + width + "\" height=\"" +
           height + "\" fill=\"#fff\"/>\n";
    out += textElement(chart.width / 2.0, 22, "middle", chart.title,
                       " font-size=\"14\" font-weight=\"bold\"");
    out += axesAndTicks(chart, frame);
    out += referenceLines(chart, frame);
    out += seriesAndLegend(chart, frame);
    out += marks(chart, frame);
    out += "</g>\n";
    return out;
}

std::string svgDocument(const std::vector<SvgChart>& charts)
{
    double width = 0, height = 0;
    for (const SvgChart& chart : charts) {
        width = std::max<double>(width, chart.width);
        height += chart.height;
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                      number(width) + "\" height=\"" + number(height) + "\" viewBox=\"0 0 " +
                      number(width) + " " + number(height) + "\">\n";
    double top = 0;
    for (const SvgChart& chart : charts) {
        out += svgChartElement(chart, top);
        top += chart.height;
    }
    out += "</svg>\n";
    return out;
}

// A chart written as SVG text that any browser opens: series of points,
// horizontal reference lines with labels, marked points, two axes (linear or
// logarithmic) with ticks and labels, a title and a legend. The text is
// well-formed XML; every text given is escaped, and bytes that are not UTF-8
// become '?'. Several charts can be stacked in one document.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ChartPoint {
    double x;
    double y;
};

struct ChartSeries {
    std::string name;    // legend text; empty: not in the legend
    std::string colour;  // an SVG colour; empty: the next of the palette
    std::vector<ChartPoint> points;
    bool joined = true;  // a line through the points besides a dot on each
};

struct ChartReferenceLine {
    double y;
    std::string label;   // written above the line, at its right end
    std::string colour;  // empty: grey
};

struct ChartMark {
    ChartPoint at;
    std::string label;
};

struct ChartAxis {
    std::string label;
    bool logarithmic = false;
    // The range shown; when min >= max it is chosen to hold every point,
    // reference line and mark, widened to whole ticks (a linear axis of
    // positive values starts at 0).
    double min = 0;
    double max = 0;
};

struct SvgChart {
    std::string title;
    ChartAxis x;
    ChartAxis y;
    std::vector<ChartSeries> series;
    std::vector<ChartReferenceLine> references;
    std::vector<ChartMark> marks;
    uint32_t width = 900;
    uint32_t height = 440;
};

// Where the plot area lies in the chart (pixels, y downwards) and the ranges
// it shows. On a logarithmic axis values at or below 0 sit on the axis' low end.
struct ChartFrame {
    double left, top, right, bottom;
    double xMin, xMax, yMin, yMax;
    bool xLogarithmic, yLogarithmic;
};

ChartFrame chartFrame(const SvgChart& chart);
double chartPixelX(const ChartFrame& frame, double x);
double chartPixelY(const ChartFrame& frame, double y);

// Tick values from min to max: steps of 1, 2 or 5 times a power of ten
// (linear, about five ticks), or powers of ten with 2 and 5 between them
// when the range spans fewer than three decades (logarithmic).
std::vector<double> chartTicks(double min, double max, bool logarithmic);

// Text or attribute value made safe for XML.
std::string escapeXmlText(const std::string& text);

// One chart as a group (<g>) placed at (0, top) of the document.
std::string svgChartElement(const SvgChart& chart, double top);
// A whole SVG document with the charts one below the other.
std::string svgDocument(const std::vector<SvgChart>& charts);

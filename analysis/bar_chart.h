// Grouped bars as SVG: a group per category along the x axis, a bar per
// series in each group, each with its figure written above it and an
// optional mark (a short dash across the bar at another value).
#pragma once
#include <string>
#include <vector>

struct Bar {
    double value;       // the bar's height; below 0: no bar (a gap with its label)
    std::string label;  // written above the bar (or in the gap)
    double mark;        // a dash across the bar at this value; below 0: none
    bool faint;         // drawn pale: a figure that is not confirmed
};

struct BarGroup {
    std::string category;
    std::vector<Bar> bars;  // one per series, in series order
};

struct BarChart {
    std::string title;
    std::string yLabel;
    std::vector<std::string> series;  // legend names, in the palette's order
    std::string markName;             // the legend's name of the dash
    std::vector<BarGroup> groups;
    std::vector<std::string> notes;   // lines below the chart
    unsigned width = 960;
    unsigned height = 480;
};

// A whole SVG document.
std::string svgBarChartDocument(const BarChart& chart);

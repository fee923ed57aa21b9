#include "analysis/svg_chart.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "analysis/bar_chart.h"
#include "tests/analysis/xml_check.h"

namespace {

size_t count(const std::string& text, const std::string& what)
{
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++found;
    return found;
}

TEST(SvgChart, ValuesMapOntoThePlotAreaLinearlyOrByDecades)
{
    SvgChart chart;  // 900 x 440: plot area x 84..872, y 58..384
    chart.x.min = 0;
    chart.x.max = 100;
    chart.y.logarithmic = true;
    chart.y.min = 1;
    chart.y.max = 1000;
    ChartFrame frame = chartFrame(chart);
    EXPECT_DOUBLE_EQ(chartPixelX(frame, 25), 84 + 0.25 * 788);
    EXPECT_DOUBLE_EQ(chartPixelX(frame, 150), 872);  // held inside the area
    EXPECT_DOUBLE_EQ(chartPixelY(frame, 1000), 58);
    EXPECT_NEAR(chartPixelY(frame, 10), 384 - 326.0 / 3, 1e-9);
    EXPECT_DOUBLE_EQ(chartPixelY(frame, 0), 384);  // no place on a log axis: its low end
}

TEST(SvgChart, TicksAndRangesFallOnRoundValues)
{
    struct Case {
        double min, max;
        bool log;
        std::vector<double> ticks;
    };
    const Case cases[] = {
        {0, 10, false, {0, 2, 4, 6, 8, 10}},
        {-5, 5, false, {-4, -2, 0, 2, 4}},
        {0, 0.3, false, {0, 0.1, 0.2, 0.3}},
        {1, 1000, true, {1, 10, 100, 1000}},
        {0.5, 20, true, {0.5, 1, 2, 5, 10, 20}},
    };
    for (const Case& c : cases) {
        std::vector<double> ticks = chartTicks(c.min, c.max, c.log);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.min << ".." << c.max;
        for (size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.ticks[i], 1e-12);
    }

    // Chosen ranges hold every point, line and mark, widened to round values;
    // a linear axis of positive values starts at 0, a log axis leaves room at
    // the top.
    SvgChart chart;
    chart.y.logarithmic = true;
    chart.series.push_back({"", "", {{3, 0.3}, {37, 7}}});
    chart.references.push_back({900, "", ""});
    chart.marks.push_back({{12, 0.25}, ""});
    ChartFrame frame = chartFrame(chart);
    EXPECT_DOUBLE_EQ(frame.xMin, 0);
    EXPECT_DOUBLE_EQ(frame.xMax, 40);
    EXPECT_DOUBLE_EQ(frame.yMin, 0.2);
    EXPECT_DOUBLE_EQ(frame.yMax, 2000);  // room above 900 for a label
}

TEST(SvgChart, EscapesTextAndDropsWhatIsNotXml)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a<b & \"c\" 'd'>", "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;"},
        {"caf\xC3\xA9 \xE2\x80\x94 ok", "caf\xC3\xA9 \xE2\x80\x94 ok"},  // UTF-8 stays
        {"bad \xFF byte", "bad ? byte"},
        {"cut \xC3", "cut ?"},
        {"overlong \xE0\x80\xAF", "overlong ???"},
        {"bell\x07 tab\t", "bell? tab\t"},
    };
    for (const auto& c : cases) EXPECT_EQ(escapeXmlText(c.first), c.second);
}

TEST(SvgChart, DocumentHasEveryPointLineAndMarkAndIsWellFormed)
{
    SvgChart chart;
    chart.title = "Take <1> & \"2\" \xFF";
    chart.x.label = "time (ms)";
    chart.y.label = "round (ms)";
    chart.y.logarithmic = true;
    chart.series.push_back({"pass 1", "", {{1, 2}, {2, 3}, {3, 2.5}}});
    chart.series.push_back({"pass 2", "#000", {{1, 2.2}, {2, 9}}, false});
    chart.references.push_back({500, "budget 500 ms", ""});
    chart.references.push_back({520, "budget 520 ms", "red"});
    chart.marks.push_back({{2, 9}, "slowest 9 ms"});
    std::string second = svgChartElement(chart, 0);
    std::string document = svgDocument({chart, chart});

    expectWellFormedXml(document);
    EXPECT_EQ(count(document, "<circle "), 10u);  // points only
    EXPECT_EQ(count(document, "<polyline"), 2u);  // the unjoined series has none
    EXPECT_EQ(count(document, "<path "), 2u);  // marks only
    EXPECT_NE(document.find("Take &lt;1&gt; &amp; &quot;2&quot; ?"), std::string::npos);
    EXPECT_NE(document.find("<g transform=\"translate(0 440.00)\""),
              std::string::npos);  // the second chart

    ChartFrame frame = chartFrame(chart);
    char line[160];
    double y = chartPixelY(frame, 500);
    std::snprintf(line, sizeof line,
                  "<line x1=\"84.00\" y1=\"%.2f\" x2=\"872.00\" y2=\"%.2f\" stroke=\"#777\" "
                  "stroke-dasharray",
                  y, y);
    EXPECT_NE(second.find(line), std::string::npos) << line << "\n" << second;
    // Labels of lines too close for two text lines go to opposite ends.
    EXPECT_NE(second.find("text-anchor=\"end\" fill=\"#777\">budget 500 ms"), std::string::npos);
    EXPECT_NE(second.find("text-anchor=\"start\" fill=\"red\">budget 520 ms"), std::string::npos);
}

}  // namespace

// A bar's label wider than its bar goes on lines of whole words, above the
// bar, so that neighbouring labels never overlap; a narrow one keeps its line.
TEST(BarChart, LabelsWiderThanTheirBarsWrapAtWords)
{
    BarChart chart;
    chart.title = "Tracks";
    chart.series = {"record only", "play back only", "overdub 1:3"};
    Bar wide{4096, "at least 1,024+3,072", -1, true}, narrow{3985, "3,985", 4043, false};
    chart.groups = {{"48 kHz 24-bit mono", {narrow, wide, wide}}};
    chart.width = 400;  // bars of about 77 pixels: 20 characters do not fit, 11 do
    std::string svg = svgBarChartDocument(chart);
    expectWellFormedXml(svg);
    EXPECT_EQ(count(svg, ">at least</text>"), 2u) << svg;
    EXPECT_EQ(count(svg, ">1,024+3,072</text>"), 2u) << svg;
    EXPECT_EQ(count(svg, ">3,985</text>"), 1u) << svg;
    chart.width = 2000;
    EXPECT_EQ(count(svgBarChartDocument(chart), ">at least 1,024+3,072</text>"), 2u);
}

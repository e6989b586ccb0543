// report_charts.h - the charts of filter-report's page, as inline SVG: no
// script, no font or file from elsewhere, printable. Every text that goes in
// is escaped here; the figures come with a table on the page, so a chart only
// shows them.
#ifndef TOOLS_REPORT_CHARTS_H
#define TOOLS_REPORT_CHARTS_H

#include <array>
#include <string>
#include <vector>

// BarSeries - one series of a bar chart: its name, colour and a value per bar.
struct BarSeries {
    std::string name;
    std::string color;
    std::vector<long> values;
};

// html_text - text for HTML, element content or attribute: markup
// characters as entities, bytes outside ASCII read as Latin-1 (the host's
// 8-bit files) and written as character references, other control
// characters as U+FFFD. The page is plain ASCII whatever the files hold.
std::string html_text(const std::string &text);

// bar_chart - one bar per label, its series stacked (or side by side when
// stacked is false), with a value axis, every few labels under it and a
// legend. long_labels name the bars in their tooltips.
std::string bar_chart(const std::string &id, const std::string &title, const std::vector<std::string> &labels,
                      const std::vector<std::string> &long_labels, const std::vector<BarSeries> &series,
                      bool stacked);

// heat_map - one row per label, 24 cells for the hours of the day, the
// darker the more; the count in each cell that has one.
std::string heat_map(const std::string &id, const std::string &title, const std::vector<std::string> &rows,
                     const std::vector<std::array<long, 24>> &counts);

// ranking_chart - one horizontal bar per label, largest first as given.
std::string ranking_chart(const std::string &id, const std::string &title, const std::vector<std::string> &labels,
                          const std::vector<long> &values, const std::string &color);

// series_color - the colour of the n-th series: distinct for those who do not see every colour.
std::string series_color(size_t n);

#endif

// report_charts.cpp - inline SVG charts for filter-report's page.
//
// Drawn with rectangles, lines and text only, sized in the page's own units,
// so that any browser shows them the same offline and prints them. Each
// shape that stands for a figure carries a <title> with it, the browser's
// own tooltip, since the page has no script.
#include "tools/report/report_charts.h"

#include <algorithm>
#include <cstdio>

// The chart's frame: the plot area inside the margins kept for the axes.
enum { CHART_WIDTH = 760, CHART_HEIGHT = 250, LEFT = 48, RIGHT = 10, TOP = 10, BOTTOM = 58 };
enum { CELL_WIDTH = 26, CELL_HEIGHT = 22, ROW_LABEL = 120, HOUR_ROW = 16 };
enum { RANK_ROW = 18, RANK_LABEL = 96, RANK_BAR = 520 };

std::string html_text(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            if (c >= 0x80) {
                char ref[12];
                snprintf(ref, sizeof ref, "&#x%X;", c);
                out += ref;
            } else if (c < 0x20 && c != '\n' && c != '\t') {
                out += "&#xFFFD;";
            } else {
                out += (char)c;
            }
        }
    }
    return out;
}

std::string series_color(size_t n)
{
    // Okabe and Ito's eight, told apart with any kind of colour vision.
    static const char *const colors[] = {"#0072B2", "#E69F00", "#009E73", "#CC79A7",
                                         "#56B4E9", "#D55E00", "#F0E442", "#000000"};
    return colors[n % (sizeof colors / sizeof colors[0])];
}

// number - a coordinate with one decimal.
static std::string number(double x)
{
    char text[32];
    snprintf(text, sizeof text, "%.1f", x);
    return text;
}

// axis_step - a step of 1, 2 or 5 times a power of ten that cuts 0..top into at most five.
static long axis_step(long top)
{
    long step = 1;
    while (true) {
        for (long m : {1L, 2L, 5L})
            if (top <= 5 * m * step)
                return m * step;
        step *= 10;
    }
}

// svg_head - the opening of a chart of the given size, titled for readers of every kind.
static std::string svg_head(const std::string &id, const std::string &title, int width, int height)
{
    return "<svg id=\"" + id + "\" class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
           std::to_string(width) + " " + std::to_string(height) + "\" role=\"img\" aria-label=\"" + html_text(title) +
           "\">\n<title>" + html_text(title) + "</title>\n";
}

// text_at - a text of the chart.
static std::string text_at(double x, double y, const std::string &text, const char *anchor, const char *style = "")
{
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" + anchor + "\"" + style + ">" +
           html_text(text) + "</text>\n";
}

// rect_at - a rectangle with its tooltip.
static std::string rect_at(double x, double y, double w, double h, const std::string &fill, const std::string &tip,
                           const char *cls)
{
    return "<rect class=\"" + std::string(cls) + "\" x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" +
           number(w) + "\" height=\"" + number(h) + "\" fill=\"" + fill + "\"><title>" + html_text(tip) +
           "</title></rect>\n";
}

// value_axis - the grid lines and numbers of 0..top.
static std::string value_axis(long top, long step, double plot_height)
{
    std::string out;
    for (long v = 0; v <= top; v += step) {
        double y = TOP + plot_height - plot_height * (double)v / (double)top;
        out += "<line x1=\"" + std::to_string(LEFT) + "\" x2=\"" + std::to_string(CHART_WIDTH - RIGHT) + "\" y1=\"" +
               number(y) + "\" y2=\"" + number(y) + "\" class=\"grid\"/>\n";
        out += text_at(LEFT - 4, y + 3, std::to_string(v), "end");
    }
    return out;
}

// legend - a swatch and a name per series, in a row under the chart.
static std::string legend(const std::vector<BarSeries> &series, double y)
{
    std::string out;
    double x = LEFT;
    for (const BarSeries &s : series) {
        out += "<rect class=\"swatch\" x=\"" + number(x) + "\" y=\"" + number(y - 9) +
               "\" width=\"10\" height=\"10\" fill=\"" + s.color + "\"/>\n";
        out += text_at(x + 14, y, s.name, "start");
        x += 24 + 7.0 * (double)s.name.size();
    }
    return out;
}

// highest_bar - the tallest bar: the sum of the series, or the largest of them.
static long highest_bar(const std::vector<BarSeries> &series, size_t bars, bool stacked)
{
    long top = 1;
    for (size_t i = 0; i < bars; i++) {
        long sum = 0;
        for (const BarSeries &s : series)
            sum = stacked ? sum + s.values[i] : std::max(sum, s.values[i]);
        top = std::max(top, sum);
    }
    return top;
}

std::string bar_chart(const std::string &id, const std::string &title, const std::vector<std::string> &labels,
                      const std::vector<std::string> &long_labels, const std::vector<BarSeries> &series, bool stacked)
{
    size_t bars = labels.size();
    long step = axis_step(highest_bar(series, bars, stacked));
    long top = ((highest_bar(series, bars, stacked) + step - 1) / step) * step;
    double plot_width = CHART_WIDTH - LEFT - RIGHT, plot_height = CHART_HEIGHT - TOP - BOTTOM;
    double band = plot_width / (double)std::max<size_t>(bars, 1);
    std::string out = svg_head(id, title, CHART_WIDTH, CHART_HEIGHT) + value_axis(top, step, plot_height);
    size_t every = (bars + 15) / 16;   // at most 16 labels under the axis
    for (size_t i = 0; i < bars; i++) {
        double x = LEFT + band * (double)i, base = TOP + plot_height;
        double width = band * 0.8 / (stacked ? 1.0 : (double)series.size());
        for (size_t k = 0; k < series.size(); k++) {
            long v = series[k].values[i];
            double h = plot_height * (double)v / (double)top;
            double left = x + band * 0.1 + (stacked ? 0.0 : width * (double)k);
            if (v > 0)
                out += rect_at(left, base - h, width, h, series[k].color,
                               long_labels[i] + ", " + series[k].name + ": " + std::to_string(v), "bar");
            if (stacked)
                base -= h;
        }
        if (i % every == 0)
            out += text_at(x + band / 2, TOP + plot_height + 14, labels[i], "middle");
    }
    out += "<line x1=\"" + std::to_string(LEFT) + "\" x2=\"" + std::to_string(CHART_WIDTH - RIGHT) + "\" y1=\"" +
           number(TOP + plot_height) + "\" y2=\"" + number(TOP + plot_height) + "\" class=\"axis\"/>\n";
    return out + legend(series, CHART_HEIGHT - 12) + "</svg>\n";
}

// cell_fill - from white to deep blue by the share of the largest count.
static std::string cell_fill(long count, long most)
{
    double share = most > 0 ? (double)count / (double)most : 0.0;
    int r = (int)(247 - share * (247 - 8)), g = (int)(251 - share * (251 - 48)), b = (int)(255 - share * (255 - 107));
    char text[8];
    snprintf(text, sizeof text, "#%02X%02X%02X", r, g, b);
    return text;
}

std::string heat_map(const std::string &id, const std::string &title, const std::vector<std::string> &rows,
                     const std::vector<std::array<long, 24>> &counts)
{
    long most = 0;
    for (const auto &row : counts)
        for (long c : row)
            most = std::max(most, c);
    int width = ROW_LABEL + 24 * CELL_WIDTH + 4, height = HOUR_ROW + (int)rows.size() * CELL_HEIGHT + 4;
    std::string out = svg_head(id, title, width, height);
    for (int h = 0; h < 24; h++)
        out += text_at(ROW_LABEL + h * CELL_WIDTH + CELL_WIDTH / 2.0, HOUR_ROW - 4, std::to_string(h), "middle");
    for (size_t r = 0; r < rows.size(); r++) {
        double y = HOUR_ROW + (double)r * CELL_HEIGHT;
        out += text_at(ROW_LABEL - 6, y + CELL_HEIGHT / 2.0 + 4, rows[r], "end");
        for (int h = 0; h < 24; h++) {
            long c = counts[r][h];
            double x = ROW_LABEL + h * CELL_WIDTH;
            char hours[16];
            snprintf(hours, sizeof hours, "%02d:00-%02d:59", h, h);
            out += rect_at(x, y, CELL_WIDTH - 1, CELL_HEIGHT - 1, cell_fill(c, most),
                           rows[r] + ", " + hours + ": " + std::to_string(c), "cell");
            if (c > 0)
                out += text_at(x + CELL_WIDTH / 2.0, y + CELL_HEIGHT / 2.0 + 3, std::to_string(c), "middle",
                               2 * c > most ? " class=\"on-dark\"" : "");
        }
    }
    return out + "</svg>\n";
}

std::string ranking_chart(const std::string &id, const std::string &title, const std::vector<std::string> &labels,
                          const std::vector<long> &values, const std::string &color)
{
    long most = 1;
    for (long v : values)
        most = std::max(most, v);
    int width = RANK_LABEL + RANK_BAR + 60, height = (int)labels.size() * RANK_ROW + 4;
    std::string out = svg_head(id, title, width, height);
    for (size_t i = 0; i < labels.size(); i++) {
        double y = 2 + (double)i * RANK_ROW, w = RANK_BAR * (double)values[i] / (double)most;
        out += text_at(RANK_LABEL - 6, y + 12, labels[i], "end");
        out += rect_at(RANK_LABEL, y + 2, std::max(w, 1.0), RANK_ROW - 5, color,
                       labels[i] + ": " + std::to_string(values[i]), "bar");
        out += text_at(RANK_LABEL + w + 4, y + 12, std::to_string(values[i]), "start");
    }
    return out + "</svg>\n";
}

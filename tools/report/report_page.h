// report_page.h - filter-report's two forms of the figures: one
// self-contained HTML page, and one JSON object with the same figures.
#ifndef TOOLS_REPORT_PAGE_H
#define TOOLS_REPORT_PAGE_H

#include "tools/report/report_figures.h"

#include <string>

// report_page - the whole page: styles inline, charts as inline SVG, no
// script, no link to any other file; plain ASCII.
std::string report_page(const ReportFigures &figures);

// report_json - the same figures for other programs, one object.
std::string report_json(const ReportFigures &figures);

// days_of - every day of the figures' extent, first to last; none without data.
std::vector<DayNumber> days_of(const ReportFigures &figures);

#endif

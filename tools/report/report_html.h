// The HTML report: the page compiled into the program with the data block
// filled in (counts and small tables as JSON, large arrays as base64).
#pragma once

#include <string>

#include "report/report_data.h"

struct ReportPageInfo {
    std::string name; // shown as the title
    double fps = 30.0; // playback rate of the source frames
};

std::string formatReportPage(const ReportData& data, const ReportPageInfo& info);

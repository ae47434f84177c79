#pragma once

#include <string>
#include <vector>

namespace tyq_tool {

// A line chart as a stand-alone SVG document: one curve through the points
// (x[n], y[n]), axes with labelled ticks, and dashed vertical marks with
// their own labels.
struct SvgChart {
  std::string title, xLabel, yLabel;
  std::vector<double> x, y;
  std::vector<double> marks;  // x positions to mark
};

std::string svgLineChart(const SvgChart& chart);

}  // namespace tyq_tool

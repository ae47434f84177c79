#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text_escape.h"

namespace tyq_tool {

namespace {

constexpr double kWidth = 720, kHeight = 440;
constexpr double kLeft = 80, kRight = 30, kTop = 50, kBottom = 60;

// A round step giving about `count` ticks over [0, top].
double tickStep(double top, int count) {
  if (!(top > 0)) return 1;
  const double raw = top / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double f : {1.0, 2.0, 5.0}) {
    if (f * power >= raw) return f * power;
  }
  return 10 * power;
}

// Text safe inside an element: markup characters escaped, and controls and
// ill-formed bytes shown as escapes.
std::string xmlEscape(const std::string& raw) {
  std::string out;
  for (char c : escapeForTerminal(raw)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

struct Frame {
  double xTop, yTop;
  double px(double x) const { return kLeft + x / xTop * (kWidth - kLeft - kRight); }
  double py(double y) const { return kHeight - kBottom - y / yTop * (kHeight - kTop - kBottom); }
};

void line(std::string& svg, double x1, double y1, double x2, double y2, const char* style) {
  char text[256];
  std::snprintf(text, sizeof text,
                "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" style=\"%s\"/>\n", x1, y1,
                x2, y2, style);
  svg += text;
}

void label(std::string& svg, double x, double y, const std::string& text, const char* extra) {
  char head[160];
  std::snprintf(head, sizeof head, "<text x=\"%.1f\" y=\"%.1f\" %s>", x, y, extra);
  svg += head + xmlEscape(text) + "</text>\n";
}

void axes(std::string& svg, const SvgChart& chart, const Frame& f, double xStep, double yStep) {
  line(svg, kLeft, f.py(0), kWidth - kRight, f.py(0), "stroke:black");
  line(svg, kLeft, f.py(0), kLeft, kTop, "stroke:black");
  for (double x = 0; x <= f.xTop + 1e-9; x += xStep) {
    line(svg, f.px(x), f.py(0), f.px(x), f.py(0) + 5, "stroke:black");
    label(svg, f.px(x), f.py(0) + 20, number(x), "text-anchor=\"middle\" font-size=\"12\"");
  }
  for (double y = 0; y <= f.yTop + 1e-9; y += yStep) {
    line(svg, kLeft - 5, f.py(y), kLeft, f.py(y), "stroke:black");
    line(svg, kLeft, f.py(y), kWidth - kRight, f.py(y), "stroke:#e0e0e0");
    label(svg, kLeft - 8, f.py(y) + 4, number(y), "text-anchor=\"end\" font-size=\"12\"");
  }
  label(svg, (kLeft + kWidth - kRight) / 2, kHeight - 15, chart.xLabel,
        "text-anchor=\"middle\" font-size=\"14\"");
  char rotate[96];
  std::snprintf(rotate, sizeof rotate,
                "text-anchor=\"middle\" font-size=\"14\" transform=\"rotate(-90 20 %.1f)\"",
                (kTop + kHeight - kBottom) / 2);
  label(svg, 20, (kTop + kHeight - kBottom) / 2, chart.yLabel, rotate);
  label(svg, kWidth / 2, 28, chart.title, "text-anchor=\"middle\" font-size=\"16\"");
}

}  // namespace

std::string svgLineChart(const SvgChart& chart) {
  double xMax = 1, yMax = 0;
  for (double x : chart.x) xMax = std::max(xMax, x);
  for (double y : chart.y) {
    if (std::isfinite(y)) yMax = std::max(yMax, y);
  }
  const double xStep = tickStep(xMax, 10), yStep = tickStep(yMax > 0 ? yMax : 1, 8);
  const Frame f{std::ceil(xMax / xStep) * xStep, std::ceil((yMax > 0 ? yMax : 1) / yStep) * yStep};
  char head[256];
  std::snprintf(head, sizeof head,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n",
                kWidth, kHeight, kWidth, kHeight);
  std::string svg = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + head;
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  axes(svg, chart, f, xStep, yStep);
  for (double m : chart.marks) {
    line(svg, f.px(m), f.py(0), f.px(m), kTop, "stroke:#c03030;stroke-dasharray:5,4");
    label(svg, f.px(m) + 4, kTop + 14, number(m) + " dB", "font-size=\"12\" fill=\"#c03030\"");
  }
  std::string points;
  for (size_t n = 0; n < chart.x.size() && n < chart.y.size(); ++n) {
    if (!std::isfinite(chart.y[n])) continue;
    char p[48];
    std::snprintf(p, sizeof p, "%.1f,%.1f ", f.px(chart.x[n]), f.py(chart.y[n]));
    points += p;
  }
  svg += "<polyline fill=\"none\" stroke=\"#2050a0\" stroke-width=\"2\" points=\"" + points +
         "\"/>\n</svg>\n";
  return svg;
}

}  // namespace tyq_tool

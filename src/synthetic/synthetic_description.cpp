#include "synthetic/synthetic_description.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <type_traits>

#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

namespace {

using Err = FileAccess::Error;
namespace FA = FileAccess;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Walks the logical lines of a description: comments cut off, leading blanks
// skipped, lines left empty passed over.
class LogicalLines {
 public:
  explicit LogicalLines(std::string_view text) : rest_(text) {}

  bool Next(std::string_view& line) {
    while (!rest_.empty()) {
      const size_t end = rest_.find('\n');
      std::string_view raw = rest_.substr(0, end);
      rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
      raw = raw.substr(0, raw.find('#'));
      size_t first = 0;
      while (first < raw.size() && IsBlank(raw[first])) ++first;
      if (first < raw.size()) {
        line = raw.substr(first);
        return true;
      }
    }
    return false;
  }

 private:
  std::string_view rest_;
};

// The blank-separated tokens of one logical line, read as typed fields. A
// field is accepted only when its whole token is a number of that type in
// range: "12abc", "nan" or a negative count are malformed, not truncated.
class Tokens {
 public:
  explicit Tokens(std::string_view line) : rest_(line) {}

  bool Word(std::string_view& word) {
    size_t first = 0;
    while (first < rest_.size() && IsBlank(rest_[first])) ++first;
    size_t last = first;
    while (last < rest_.size() && !IsBlank(rest_[last])) ++last;
    word = rest_.substr(first, last - first);
    rest_ = rest_.substr(last);
    return !word.empty();
  }

  template <typename T>
  bool Number(T& value) {
    std::string_view word;
    if (!Word(word)) return false;
    // Stream extraction takes an explicit plus sign; from_chars does not.
    if (word.size() > 1 && word[0] == '+' && word[1] != '-' && word[1] != '+') {
      word.remove_prefix(1);
    }
    T parsed{};
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed);
    if (error != std::errc() || end != word.data() + word.size()) return false;
    if constexpr (std::is_floating_point_v<T>) {
      if (!std::isfinite(parsed)) return false;
    }
    value = parsed;
    return true;
  }

  template <typename T>
  bool Numbers(T* values, int n) {
    for (int i = 0; i < n; ++i) {
      if (!Number(values[i])) return false;
    }
    return true;
  }

 private:
  std::string_view rest_;
};

bool SampleTypeFromName(std::string_view name, FA::DataTypeEnum::value_type& type) {
  static constexpr std::string_view kNames[] = {"SI8",  "UI8",  "SI16", "UI16",
                                                "SI32", "UI32", "F32"};
  for (int t = 0; t < 7; ++t) {
    if (name == kNames[t]) {
      type = static_cast<FA::DataTypeEnum::value_type>(t);
      return true;
    }
  }
  return false;
}

bool TypeAndRange(Tokens line, SyntheticDescription& d) {
  std::string_view word;
  return line.Word(word) && SampleTypeFromName(word, d.sampleType) && line.Number(d.codingLow) &&
         line.Number(d.codingHigh);
}

bool Axis(Tokens line, SyntheticDescription& d, int axis) {
  int64_t count = 0;
  if (!line.Number(d.annotStart[axis]) || !line.Number(d.annotInc[axis]) || !line.Number(count)) {
    return false;
  }
  if (count < 1 || count > std::numeric_limits<int32_t>::max()) return false;
  d.count[axis] = static_cast<int32_t>(count);
  return true;
}

bool VerticalUnit(Tokens line, SyntheticDescription& d) {
  std::string_view unit, domain;
  if (!line.Number(d.vertFactor) || !line.Word(unit) || !line.Word(domain)) return false;
  d.vertUnit = std::string(unit);
  if (domain == "depth") {
    d.vertDomain = FA::VertDimEnum::Depth;
  } else if (domain == "time") {
    d.vertDomain = FA::VertDimEnum::Time;
  } else {
    return false;
  }
  return true;
}

bool HorizontalUnit(Tokens line, SyntheticDescription& d) {
  std::string_view unit;
  if (!line.Number(d.horzFactor) || !line.Word(unit)) return false;
  d.horzUnit = std::string(unit);
  return true;
}

bool TiePoint(Tokens line, SyntheticDescription::TiePoint& p) {
  return line.Number(p.inlineAnnot) && line.Number(p.crosslineAnnot) && line.Number(p.x) &&
         line.Number(p.y);
}

// Sizes that the records or callers cannot hold are refused here, so that
// nothing later has to guard against them: every brick buffer and flag tile
// must stay addressable with int in any caller type (4 bytes at most), and a
// volume's sample count must fit int64.
bool PlausibleSizes(const SyntheticDescription& d) {
  int64_t brickBytes = 4;
  for (int32_t b : d.brickSize) {
    if (b < 1 || b > std::numeric_limits<int32_t>::max() / brickBytes) return false;
    brickBytes *= b;
  }
  const int64_t plane = int64_t{d.count[0]} * d.count[1];
  if (plane > std::numeric_limits<int64_t>::max() / d.count[2]) return false;
  // The value function spans [low, high]; a width beyond float would turn
  // every sample into infinity or NaN.
  return std::isfinite(d.codingHigh - d.codingLow);
}

bool ParseBody(LogicalLines& lines, SyntheticDescription& d) {
  std::string_view line;
  const auto next = [&]() -> Tokens {
    if (!lines.Next(line)) line = {};
    return Tokens(line);
  };
  if (!TypeAndRange(next(), d)) return false;
  if (!next().Numbers(d.brickSize, 3)) return false;
  Tokens stats = next();
  if (!stats.Number(d.statMin) || !stats.Number(d.statMax)) return false;
  Tokens hist = next();
  if (!hist.Number(d.histMin) || !hist.Number(d.histMax)) return false;
  for (int row = 0; row < 16; ++row) {
    if (!next().Numbers(d.bins + 16 * row, 16)) return false;
  }
  for (int axis = 0; axis < 3; ++axis) {
    if (!Axis(next(), d, axis)) return false;
  }
  if (!VerticalUnit(next(), d) || !HorizontalUnit(next(), d)) return false;
  for (auto& point : d.tiePoints) {
    if (!TiePoint(next(), point)) return false;
  }
  if (!next().Number(d.borderWidth)) return false;
  return PlausibleSizes(d);
}

int ParseSignature(LogicalLines& lines, SyntheticDescription& out) {
  std::string_view line;
  if (!lines.Next(line)) return Err::ReadFailed;
  const std::string_view head = line.substr(0, kSyntheticSignature.size());
  if (head != kSyntheticSignature.substr(0, head.size())) return Err::UnknownFileType;
  if (head.size() < kSyntheticSignature.size()) return Err::ReadFailed;
  Tokens rest(line.substr(kSyntheticSignature.size()));
  if (!rest.Number(out.version)) return Err::ReadFailed;
  if (out.version <= 0) return Err::VersionTooOld;
  if (out.version >= 2) return Err::VersionTooNew;
  std::string_view following;
  LogicalLines probe = lines;
  if (!probe.Next(following)) return Err::ReadFailed;
  return Err::NoError;
}

}  // namespace

int ParseSyntheticSignature(std::string_view text, SyntheticDescription& out) {
  LogicalLines lines(text);
  return ParseSignature(lines, out);
}

int ParseSyntheticDescription(std::string_view text, SyntheticDescription& out) {
  LogicalLines lines(text);
  const int code = ParseSignature(lines, out);
  if (code != Err::NoError) return code;
  return ParseBody(lines, out) ? Err::NoError : Err::ReadFailed;
}

}  // namespace Qra::Ostrel::Tyq::Private::Factory

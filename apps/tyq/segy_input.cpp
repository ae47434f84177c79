#include "segy_input.h"

#include <segyio/segy.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "segy_grid.h"

namespace tyq_tool {

namespace {

// A plain load and byte swap, which the compiler turns into a vector
// shuffle in the sample loops.
uint32_t bigEndian32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  return v;
}

// value = fraction * 16^(exponent - 64), fraction 24 bits below the point.
// The fraction has at most 24 significant bits, so the double is exact and
// the one rounding is the cast to float, which only bites below FLT_MIN.
float ibmToFloat(uint32_t bits) {
  const uint32_t fraction = bits & 0xffffffu;
  const int exponent = static_cast<int>((bits >> 24) & 0x7f);
  double v = std::ldexp(static_cast<double>(fraction), 4 * (exponent - 64) - 24);
  if (v > FLT_MAX) v = FLT_MAX;
  return static_cast<float>((bits & 0x80000000u) ? -v : v);
}

constexpr int kHeadersAhead = 8;

void prefetchHeader(const char* header) {
  for (int at = 0; at < SEGY_TRACE_HEADER_SIZE; at += 64) __builtin_prefetch(header + at);
  __builtin_prefetch(header + SEGY_TRACE_HEADER_SIZE - 1);
}

std::string segyFailure(int code) {
  switch (code) {
    case SEGY_FSEEK_ERROR:
    case SEGY_FREAD_ERROR:
      return "the file ends early (truncated?)";
    case SEGY_TRACE_SIZE_MISMATCH:
      return "the file size is not the text and binary headers plus a whole number of traces "
             "(truncated, or the binary header's sample count or format is wrong)";
    default:
      return "unreadable (segyio error " + std::to_string(code) + ")";
  }
}

bool readKey(const char* header, int inlineByte, int crosslineByte, TraceKey& key) {
  int32_t scalar = 0, x = 0, y = 0;
  if (segy_get_field(header, inlineByte, &key.inlineNo) != SEGY_OK ||
      segy_get_field(header, crosslineByte, &key.crosslineNo) != SEGY_OK ||
      segy_get_field(header, SEGY_TR_SOURCE_GROUP_SCALAR, &scalar) != SEGY_OK ||
      segy_get_field(header, SEGY_TR_CDP_X, &x) != SEGY_OK ||
      segy_get_field(header, SEGY_TR_CDP_Y, &y) != SEGY_OK) {
    return false;
  }
  const double scale =
      scalar > 0 ? scalar : (scalar < 0 ? -1.0 / static_cast<double>(scalar) : 1.0);
  key.x = x * scale;
  key.y = y * scale;
  return true;
}

}  // namespace

int segySampleBytes(int format) {
  switch (format) {
    case SEGY_IBM_FLOAT_4_BYTE:
    case SEGY_SIGNED_INTEGER_4_BYTE:
    case SEGY_IEEE_FLOAT_4_BYTE:
      return 4;
    case SEGY_SIGNED_SHORT_2_BYTE:
      return 2;
    case SEGY_SIGNED_CHAR_1_BYTE:
      return 1;
    default:
      return 0;
  }
}

template <typename T>
void decodeSegySamples(int format, const char* raw, int count, T* out) {
  switch (format) {
    case SEGY_IBM_FLOAT_4_BYTE:
      for (int k = 0; k < count; ++k) out[k] = static_cast<T>(ibmToFloat(bigEndian32(raw + 4 * k)));
      break;
    case SEGY_IEEE_FLOAT_4_BYTE:
      for (int k = 0; k < count; ++k) {
        out[k] = static_cast<T>(std::bit_cast<float>(bigEndian32(raw + 4 * k)));
      }
      break;
    case SEGY_SIGNED_INTEGER_4_BYTE:
      for (int k = 0; k < count; ++k) {
        out[k] = static_cast<T>(static_cast<float>(static_cast<int32_t>(bigEndian32(raw + 4 * k))));
      }
      break;
    case SEGY_SIGNED_SHORT_2_BYTE:
      for (int k = 0; k < count; ++k) {
        const auto* u = reinterpret_cast<const unsigned char*>(raw + 2 * k);
        out[k] = static_cast<T>(static_cast<int16_t>((u[0] << 8) | u[1]));
      }
      break;
    default:
      for (int k = 0; k < count; ++k) out[k] = static_cast<T>(static_cast<signed char>(raw[k]));
      break;
  }
}

template void decodeSegySamples<float>(int, const char*, int, float*);
template void decodeSegySamples<short>(int, const char*, int, short*);
template void decodeSegySamples<signed char>(int, const char*, int, signed char*);

void encodeSegyFloats(const float* in, int count, char* raw) {
  for (int k = 0; k < count; ++k) {
    uint32_t bits;
    std::memcpy(&bits, &in[k], 4);
    for (int b = 0; b < 4; ++b) raw[4 * k + b] = static_cast<char>(bits >> (24 - 8 * b));
  }
}

SegyInput::~SegyInput() {
  if (fp_) segy_close(fp_);
  if (fd_ >= 0) ::close(fd_);
}

int64_t SegyInput::recordBytes() const {
  return SEGY_TRACE_HEADER_SIZE + int64_t{layout_.traceBytes};
}

bool SegyInput::readRecords(int first, int count, std::string& error) {
  const size_t bytes = static_cast<size_t>(recordBytes() * count);
  if (raw_.size() < bytes) raw_.resize(bytes);
  size_t done = 0;
  while (done < bytes) {
    const off_t at =
        static_cast<off_t>(layout_.trace0 + first * recordBytes() + static_cast<int64_t>(done));
    const ssize_t got = ::pread(fd_, raw_.data() + done, bytes - done, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      error = path_ + ": trace " + std::to_string(first) + ": " +
              (got < 0 ? std::string(std::strerror(errno)) : segyFailure(SEGY_FREAD_ERROR));
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

bool SegyInput::open(const std::string& path, std::string& error) {
  path_ = path;
  if (!openRegular(path, error)) return false;
  fp_ = segy_open(path.c_str(), "rb");
  if (!fp_) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  char bin[SEGY_BINARY_HEADER_SIZE];
  if (segy_binheader(fp_, bin) != SEGY_OK) {
    error = path + " is not a SEG-Y file: it is shorter than the 3600-byte text and binary headers";
    return false;
  }
  layout_.format = segy_format(bin);
  layout_.samples = segy_samples(bin);
  int32_t value = 0;
  segy_get_bfield(bin, SEGY_BIN_MEASUREMENT_SYSTEM, &value);
  layout_.measurement = value;
  if (segySampleBytes(layout_.format) == 0) {
    error = path +
            " is not a SEG-Y file this tool reads: the binary header (byte 3225) gives "
            "sample format " +
            std::to_string(layout_.format) +
            "; known are 1 (IBM float), 2 (int32), 3 (int16), 5 (IEEE float), 8 (int8)";
    return false;
  }
  if (layout_.samples <= 0) {
    error = path + " is not a usable SEG-Y file: the binary header (byte 3221) gives " +
            std::to_string(layout_.samples) + " samples per trace";
    return false;
  }
  layout_.trace0 = segy_trace0(bin);
  layout_.traceBytes = segy_trsize(layout_.format, layout_.samples);
  segy_set_format(fp_, layout_.format);
  const int rc = segy_traces(fp_, &layout_.traces, layout_.trace0, layout_.traceBytes);
  if (rc != SEGY_OK || layout_.traces <= 0) {
    error =
        path + ": " + (rc != SEGY_OK ? segyFailure(rc) : std::string("the file holds no traces"));
    return false;
  }
  float dt = 0;
  segy_sample_interval(fp_, 0.0f, &dt);
  layout_.interval = dt;
  char header[SEGY_TRACE_HEADER_SIZE];
  if (segy_traceheader(fp_, 0, header, layout_.trace0, layout_.traceBytes) == SEGY_OK &&
      segy_get_field(header, SEGY_TR_DELAY_REC_TIME, &value) == SEGY_OK) {
    layout_.firstSample = value;
  }
  return true;
}

// Checked before segyio opens the file by name: opening a FIFO for reading
// waits for a writer, and reading a device or a FIFO may never end.
// O_NONBLOCK keeps this open from waiting; it is cleared once the kind is
// known.
bool SegyInput::openRegular(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = path + " is not a regular file";
    return false;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool SegyInput::scanGrid(int inlineByte, int crosslineByte, SegyGrid& grid, std::string& error,
                         void (*progress)(void*, int64_t), void* context) {
  std::vector<TraceKey> keys(static_cast<size_t>(layout_.traces));
  const int chunk = static_cast<int>(std::max<int64_t>(1, (int64_t{8} << 20) / recordBytes()));
  for (int first = 0; first < layout_.traces; first += chunk) {
    const int count = std::min(chunk, layout_.traces - first);
    if (!readRecords(first, count, error)) return false;
    for (int n = 0; n < count; ++n) {
      // Headers lie a trace apart, too far for the hardware to guess.
      if (n + kHeadersAhead < count) {
        prefetchHeader(raw_.data() + (n + kHeadersAhead) * recordBytes());
      }
      if (!readKey(raw_.data() + n * recordBytes(), inlineByte, crosslineByte,
                   keys[static_cast<size_t>(first + n)])) {
        error = path_ + ": trace header " + std::to_string(first + n) +
                ": bad inline or crossline byte position";
        return false;
      }
    }
    if (progress) progress(context, first + count);
  }
  if (!inferGrid(keys, grid, error)) {
    error = path_ + ": " + error + " (inline numbers read at byte " + std::to_string(inlineByte) +
            ", crossline numbers at byte " + std::to_string(crosslineByte) +
            "; --iline-byte and --xline-byte choose others)";
    return false;
  }
  return true;
}

template <typename T>
bool SegyInput::readTraces(int first, int count, T* out, std::string& error) {
  if (!readRecords(first, count, error)) return false;
  for (int n = 0; n < count; ++n) {
    decodeSegySamples(layout_.format, raw_.data() + n * recordBytes() + SEGY_TRACE_HEADER_SIZE,
                      layout_.samples, out + static_cast<size_t>(n) * layout_.samples);
  }
  return true;
}

template bool SegyInput::readTraces<float>(int, int, float*, std::string&);
template bool SegyInput::readTraces<short>(int, int, short*, std::string&);
template bool SegyInput::readTraces<signed char>(int, int, signed char*, std::string&);

}  // namespace tyq_tool

#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plimo {

// The status line of a download holds at most this many characters.
constexpr std::size_t PROGRESS_LINE_MAX = 999;

// The four figures the progress format is given, in this order.
struct ProgressFigures {
  double megabytesReceived;  // received / 1048576
  double megabytesTotal;     // length / 1048576
  double percent;            // 100 * received / length
  double rate;               // bytes per millisecond (shown as "kb/s"); 0 before a millisecond has passed
};

// Figures after received of length bytes in elapsedMs milliseconds. A length
// of 0 gives a percentage of 0.
ProgressFigures progressFigures(std::uint32_t received, std::uint32_t length, std::uint32_t elapsedMs);

// Progress bar position (range 0..100): received / length * 100, truncated;
// 0 when length is 0, never above 100.
int progressBarPosition(std::uint32_t received, std::uint32_t length);

// True when format is safe to be given exactly four double arguments: it
// holds at most four conversions, each a floating-point one (f F e E g G a A,
// with flags, a width and a precision written as digits, an optional 'l'),
// plus any number of "%%". Anything else ('*', other conversions, positional
// arguments, a lone '%' at the end) is unsafe.
bool isSafeProgressFormat(const std::u16string& format);

// The status line: the format filled with the figures when it is safe,
// otherwise the format text unchanged. At most PROGRESS_LINE_MAX characters.
std::u16string formatProgressLine(const std::u16string& format, const ProgressFigures& figures);

}  // namespace plimo

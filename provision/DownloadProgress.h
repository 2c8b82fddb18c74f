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

// The one rule for the progress format (wide message 20008): the launcher
// fills only formats it accepts, and plimo-pack stores no other.
//
// A format is safe to be given exactly four double arguments when it holds
// at most four conversions, each a floating-point one (f F e E g G a A, with
// flags, a width and a precision written as digits, an optional 'l'), plus
// any number of "%%". Anything else ('*', other conversions, positional
// arguments, a lone '%' at the end) is unsafe. Widths and precisions of any
// number of digits are accepted and clamped to PROGRESS_LINE_MAX, as wider
// fields could show nothing more.
enum class ProgressFormatFault {
  None,
  NotFloatingPoint,    // a conversion that is not a floating-point one
  TooManyConversions,  // a fifth conversion
};

struct ProgressFormatCheck {
  ProgressFormatFault fault = ProgressFormatFault::None;
  std::size_t at = 0;  // index of the '%' that starts the refused conversion
  // How long the filled line can grow before it is cut to PROGRESS_LINE_MAX,
  // estimated: one character for each other character and each "%%", and
  // for each conversion its width or 20 characters plus its precision,
  // whichever is more.
  std::size_t longestLine = 0;
};

ProgressFormatCheck checkProgressFormat(const std::u16string& format);

// checkProgressFormat finds no fault.
bool isSafeProgressFormat(const std::u16string& format);

// The status line: the format filled with the figures when it is safe,
// otherwise the format text unchanged. At most PROGRESS_LINE_MAX characters.
std::u16string formatProgressLine(const std::u16string& format, const ProgressFigures& figures);

}  // namespace plimo

#include "provision/DownloadProgress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace plimo {

namespace {

constexpr int MAX_CONVERSIONS = 4;
// Widths and precisions beyond the line length change nothing that is shown.
constexpr unsigned long FIELD_LIMIT = PROGRESS_LINE_MAX;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool isFlag(char16_t c) { return c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0'; }

bool isFloatConversion(char16_t c) {
  switch (c) {
    case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A':
      return true;
    default:
      return false;
  }
}

// One conversion after its '%': flags, width, precision, optional 'l', and
// the conversion letter.
struct Conversion {
  std::size_t end = 0;          // index after the letter; 0: not a floating-point conversion
  unsigned long width = 0;      // clamped to FIELD_LIMIT
  unsigned long precision = 6;  // printf's default; clamped to FIELD_LIMIT
  std::string text;             // a narrow printf conversion with the numbers clamped
};

Conversion parseConversion(const std::u16string& format, std::size_t at) {
  Conversion conversion;
  std::string& text = conversion.text;
  text = "%";
  std::size_t i = at;
  while (i < format.size() && isFlag(format[i])) text += static_cast<char>(format[i++]);
  auto number = [&](void) {
    unsigned long value = 0;
    while (i < format.size() && isDigit(format[i])) {
      value = value * 10 + static_cast<unsigned long>(format[i++] - u'0');
      if (value > FIELD_LIMIT) value = FIELD_LIMIT;
    }
    text += std::to_string(value);
    return value;
  };
  if (i < format.size() && isDigit(format[i])) conversion.width = number();
  if (i < format.size() && format[i] == u'.') {
    ++i;
    text += '.';
    conversion.precision = number();
  }
  if (i < format.size() && format[i] == u'l') ++i;  // "%lf" is a double as well
  if (i >= format.size() || !isFloatConversion(format[i])) return conversion;
  text += static_cast<char>(format[i]);
  conversion.end = i + 1;
  return conversion;
}

// One checked floating-point conversion into out, always terminated. On
// Windows through the system's formatter (msvcrt): the MinGW runtime's C99
// one would bring its whole engine into every installer.
void formatNumber(char* out, std::size_t capacity, const char* conversion, double value) {
#ifdef _WIN32
  int n = _snprintf(out, capacity, conversion, value);
#else
  int n = std::snprintf(out, capacity, conversion, value);
#endif
  if (n < 0 || static_cast<std::size_t>(n) >= capacity) out[capacity - 1] = '\0';
  // msvcrt writes three exponent digits ("1.5e+000"); the C standard, and
  // every other system, as few as two.
  for (char* p = out; *p != '\0'; ++p) {
    bool exponent = (p[0] == 'e' || p[0] == 'E') && (p[1] == '+' || p[1] == '-');
    if (exponent && p[2] == '0' && isAsciiDigit(p[3]) && isAsciiDigit(p[4]) && !isAsciiDigit(p[5])) {
      std::memmove(p + 2, p + 3, std::strlen(p + 3) + 1);
      break;
    }
  }
}

void cutToLine(std::u16string& line) {
  if (line.size() <= PROGRESS_LINE_MAX) return;
  line.resize(PROGRESS_LINE_MAX);
  // Never leave half of a surrogate pair at the end.
  if (line.back() >= 0xD800 && line.back() <= 0xDBFF) line.pop_back();
}

}  // namespace

ProgressFigures progressFigures(std::uint32_t received, std::uint32_t length, std::uint32_t elapsedMs) {
  ProgressFigures f;
  f.megabytesReceived = received / 1048576.0;
  f.megabytesTotal = length / 1048576.0;
  f.percent = length == 0 ? 0.0 : 100.0 * received / length;
  f.rate = elapsedMs == 0 ? 0.0 : static_cast<double>(received) / elapsedMs;
  return f;
}

int progressBarPosition(std::uint32_t received, std::uint32_t length) {
  if (length == 0) return 0;
  std::uint64_t position = static_cast<std::uint64_t>(received) * 100u / length;
  return position > 100 ? 100 : static_cast<int>(position);
}

ProgressFormatCheck checkProgressFormat(const std::u16string& format) {
  ProgressFormatCheck check;
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') {
      ++check.longestLine;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      ++check.longestLine;
      ++i;
      continue;
    }
    Conversion conversion = parseConversion(format, i + 1);
    if (conversion.end == 0 || ++conversions > MAX_CONVERSIONS) {
      check.fault = conversion.end == 0 ? ProgressFormatFault::NotFloatingPoint : ProgressFormatFault::TooManyConversions;
      check.at = i;
      return check;
    }
    check.longestLine += std::max<std::size_t>(conversion.width, 20 + conversion.precision);
    i = conversion.end - 1;
  }
  return check;
}

bool isSafeProgressFormat(const std::u16string& format) {
  return checkProgressFormat(format).fault == ProgressFormatFault::None;
}

std::u16string formatProgressLine(const std::u16string& format, const ProgressFigures& figures) {
  std::u16string line;
  if (!isSafeProgressFormat(format)) {
    line = format;
    cutToLine(line);
    return line;
  }
  const double values[MAX_CONVERSIONS] = {figures.megabytesReceived, figures.megabytesTotal, figures.percent,
                                          figures.rate};
  int next = 0;
  for (std::size_t i = 0; i < format.size() && line.size() <= PROGRESS_LINE_MAX; ++i) {
    if (format[i] != u'%') {
      line += format[i];
      continue;
    }
    if (format[i + 1] == u'%') {  // safe formats end in no lone '%'
      line += u'%';
      ++i;
      continue;
    }
    Conversion conversion = parseConversion(format, i + 1);
    char field[PROGRESS_LINE_MAX + 2];
    formatNumber(field, sizeof field, conversion.text.c_str(), values[next++]);
    for (const char* p = field; *p != '\0'; ++p) line += static_cast<char16_t>(static_cast<unsigned char>(*p));
    i = conversion.end - 1;
  }
  cutToLine(line);
  return line;
}

}  // namespace plimo

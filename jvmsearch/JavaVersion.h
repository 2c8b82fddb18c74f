#pragma once
#include <cstddef>
#include <string>

namespace plimo {

// Java versions as runtimes print them ("1.4.2_03", "17.0.15", "21-ea").
// They come as probe output, registry key names (ANSI text) and configured
// bounds (page text); the rules read only ASCII digits, dots, '_' and
// "beta", none of which is ever the second byte of a character, so every
// kind is compared alike and versions stay std::string.

// What the standard error of "java -version" read so far tells.
enum class VersionScan {
  NeedMore,   // no complete version line yet; keep reading
  Found,      // version holds the text between the quotes
  NoVersion,  // the output cannot yield a version (or ended without one)
};

// Looks for the first complete line that starts with `java version "` or
// `openjdk version "` and takes the text up to the next quote on that line.
// Lines before it (such as "Picked up JAVA_TOOL_OPTIONS: ...") are skipped.
// A line is complete at a carriage return or a line feed, or at the end of
// the output once outputEnded is true. An empty version, a version line
// without its closing quote and control characters inside the quotes give
// NoVersion. version is written only for Found.
VersionScan scanVersionOutput(const char* data, std::size_t size, bool outputEnded, std::string& version);

// The probed version held against the configured range (empty bound: open).
// With allowBeta false a version containing "beta" is rejected. Numeric
// dotted components ("." and "_" separate them; a component ends at the first
// other character) are compared as numbers over as many components as the
// bound has, a missing component counting as 0: "1.4.2_03" is within
// minimum and maximum "1.4", "1.10" >= "1.4", "9.0.4" < "11". A bound that
// does not start with a digit is compared character-wise over its length; a
// version without a number fails a numeric bound.
bool versionAcceptable(const std::string& version, const std::string& minimum, const std::string& maximum,
                       bool allowBeta);

// The tolerant pre-filter for version names from the registry: the same
// comparison over only as many components as the shorter of name and bound
// has, so the family name "1.4" passes the minimum "1.4.2_03".
bool versionNameInRange(const std::string& name, const std::string& minimum, const std::string& maximum);

// Order for choosing the highest of several versions: numeric components over
// the longer of the two (missing ones count as 0), then byte order of the
// texts to break ties. Negative, zero or positive.
int compareVersions(const std::string& a, const std::string& b);

}  // namespace plimo

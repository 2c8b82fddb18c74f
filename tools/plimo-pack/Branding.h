#pragma once
// An installer's own face: its icon, its version information and the
// manifest's DPI awareness and execution level, from the project's
// [branding] table, written into the stub's resources.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <toml++/toml.h>

namespace plimo::pack {

// The icon group the stub's dialogs and window class load by name.
inline constexpr char16_t MAIN_ICON_NAME[] = u"MAINICO";

struct IconImage {
  std::uint16_t width = 0;  // 1 to 256
  std::uint16_t height = 0;
  std::uint8_t colourCount = 0;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 32;
  std::string bytes;  // a DIB as an .ico file holds it, or a whole PNG file
};

using VersionNumber = std::array<std::uint16_t, 4>;

struct Branding {
  std::vector<IconImage> icon;  // empty: the stub's icon stays
  // Version information: written when any of its keys is given.
  bool version = false;
  VersionNumber fileVersion{};
  VersionNumber productVersion{};
  std::vector<std::pair<std::string, std::string>> versionStrings;  // StringFileInfo key, UTF-8 value
  // Manifest: rewritten when either key is given.
  bool manifest = false;
  std::string dpiAwareness = "per-monitor-v2";
  std::string executionLevel = "asInvoker";

  bool any() const { return !icon.empty() || version || manifest; }
};

// Reads the [branding] table: keys, their checks, the icon file (relative
// paths against base). Each problem is added to errors with its key and line.
void loadBranding(const toml::table& table, const std::filesystem::path& base, Branding& branding,
                  std::vector<std::string>& errors);

// Icon images from the bytes of an .ico file or of a PNG image; false with
// why when the bytes are not one. A PNG becomes a single PNG-compressed
// image, which icon groups may hold since Windows Vista.
bool iconFromIco(std::string_view bytes, std::vector<IconImage>& images, std::string& why);
bool iconFromPng(std::string_view bytes, std::vector<IconImage>& images, std::string& why);

// "a", "a.b", "a.b.c" or "a.b.c.d", each part a number up to 65535; missing
// parts are 0.
bool parseVersionNumber(const std::string& text, VersionNumber& number, std::string& why);

// The manifest for a stub of machine (PE machine field), from the template
// the stub's own manifest is made of. False with why for an unknown DPI
// awareness or execution level.
bool manifestText(const Branding& branding, std::uint16_t machine, std::string& text, std::string& why);

// VS_VERSIONINFO: the fixed part with both numbers, strings in language
// 0x0409 with code page 1200 (UTF-16), and the matching translation.
std::string versionResource(const Branding& branding);

// Rewrites the resources of image (a stub's bytes up to the end of its
// image): the icon group MAINICO and its images, the version information and
// the manifest, as far as branding sets them; every other resource stays.
bool applyBranding(std::string& image, const Branding& branding, std::string& why);

// The stub's first imageEnd bytes with branding applied; false with error
// (naming the stub) when it cannot be read or rebranded.
bool brandedStubImage(const std::filesystem::path& stub, std::uint64_t imageEnd, const Branding& branding,
                      std::string& image, std::string& error);

// What an installer shows of itself, read back for inspect.
struct BrandingSummary {
  std::vector<std::string> iconImages;      // "32x32 32-bit", "256x256 PNG"
  std::string fileVersion, productVersion;  // of the fixed part, "1.2.0.0"; empty without version information
  std::vector<std::pair<std::string, std::string>> versionStrings;
  std::string dpiAware, dpiAwareness, executionLevel;  // as the manifest says them; empty when absent
};

// Reads the summary from image; false with why when its resources cannot be
// read. Version information that cannot be read is left out.
bool readBranding(std::string_view image, BrandingSummary& summary, std::string& why);
// The same from the first imageEnd bytes of an installer file.
bool readInstallerBranding(const std::filesystem::path& installer, std::uint64_t imageEnd, BrandingSummary& summary,
                           std::string& why);

// The parts of a VS_VERSIONINFO resource; false when it is malformed.
bool parseVersionResource(std::string_view bytes, VersionNumber& fileVersion, VersionNumber& productVersion,
                          std::vector<std::pair<std::string, std::string>>& strings);

}  // namespace plimo::pack

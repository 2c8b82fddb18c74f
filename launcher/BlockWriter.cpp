#include "launcher/BlockWriter.h"

#include "launcher/ConfigBlock.h"

namespace plimo {

void scrambleInPlace(unsigned char* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) data[i] ^= PAYLOAD_KEY;
}

void appendInt32(std::string& out, std::int32_t value) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>((v >> 16) & 0xFF));
  out.push_back(static_cast<char>((v >> 24) & 0xFF));
}

void BlockWriter::addNarrow(std::int32_t id, std::string value) { narrow_.emplace_back(id, std::move(value)); }

void BlockWriter::addWide(std::int32_t id, std::u16string value) { wide_.emplace_back(id, std::move(value)); }

std::string BlockWriter::tables() const {
  std::string out;
  appendInt32(out, static_cast<std::int32_t>(CONFIG_MAGIC));
  appendInt32(out, static_cast<std::int32_t>(narrow_.size()));
  for (const auto& [id, value] : narrow_) {
    appendInt32(out, id);
    appendInt32(out, static_cast<std::int32_t>(value.size()));
    out += value;
  }
  appendInt32(out, static_cast<std::int32_t>(wide_.size()));
  for (const auto& [id, value] : wide_) {
    appendInt32(out, id);
    appendInt32(out, static_cast<std::int32_t>(value.size() * 2));
    for (char16_t unit : value) {
      out.push_back(static_cast<char>(unit & 0xFF));
      out.push_back(static_cast<char>(unit >> 8));
    }
  }
  return out;
}

std::string payloadRecord(std::string_view content) {
  std::string out;
  out.reserve(content.size() + 4);
  appendInt32(out, static_cast<std::int32_t>(content.size()));
  out.append(content.data(), content.size());
  scrambleInPlace(reinterpret_cast<unsigned char*>(&out[4]), content.size());
  return out;
}

std::u16string utf16FromUtf8(std::string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t length = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 0x6) {
      length = 2;
    } else if ((c >> 4) == 0xE) {
      length = 3;
    } else if ((c >> 3) == 0x1E) {
      length = 4;
    }
    if (length > 1) {
      if (i + length > text.size()) {
        length = 1;
      } else {
        cp = c & (0x7F >> length);
        bool valid = true;
        for (std::size_t k = 1; k < length; ++k) {
          unsigned char cc = static_cast<unsigned char>(text[i + k]);
          if ((cc >> 6) != 0x2) valid = false;
          cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
          cp = 0xFFFD;
          length = 1;
        }
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace plimo

#include "tools/plimo-pack/BlockWriter.h"

namespace plimo {

namespace {

class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  bool write(const void* data, std::size_t n, std::size_t& written) override {
    out_.append(static_cast<const char*>(data), n);
    written = n;
    return true;
  }

 private:
  std::string& out_;
};

}  // namespace

void BlockWriter::addNarrow(std::int32_t id, PageText value) { narrow_.emplace_back(id, std::move(value)); }

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
    appendUtf16Le(out, value);
  }
  return out;
}

CopyResult writePayloadRecord(ByteSource& content, std::uint64_t length, ByteSink& target) {
  std::string field;
  appendInt32(field, static_cast<std::int32_t>(length));
  std::size_t written = 0;
  if (!target.write(field.data(), field.size(), written) || written != field.size()) return CopyResult::WriteFailed;
  // The key is its own inverse: the stub's unscrambling copy scrambles.
  return copyDescrambled(content, target, length, true);
}

std::string payloadRecord(std::string_view content) {
  std::string out;
  out.reserve(content.size() + INT32_FIELD_SIZE);
  MemoryByteSource source(content);
  StringSink sink(out);
  writePayloadRecord(source, content.size(), sink);
  return out;
}

std::u16string utf16FromUtf8(std::string_view utf8Text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < utf8Text.size()) {
    unsigned char c = static_cast<unsigned char>(utf8Text[i]);
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
      if (i + length > utf8Text.size()) {
        length = 1;
      } else {
        cp = c & (0x7F >> length);
        bool valid = true;
        for (std::size_t k = 1; k < length; ++k) {
          unsigned char cc = static_cast<unsigned char>(utf8Text[i + k]);
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

Utf8Text utf8FromUtf16(std::u16string_view text) {
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

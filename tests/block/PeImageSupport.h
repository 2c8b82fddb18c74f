#pragma once
// Minimal PE images made in code for the tests that locate the block.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "block/BlockFormat.h"

namespace plimo::test {

// A section's raw data offset and raw size.
using RawSection = std::pair<std::uint32_t, std::uint32_t>;

// DOS header, PE signature, file header (machine, section count, optional
// header size), an optional header of the given size and the section headers.
inline std::string peImage(std::uint16_t optionalSize, const std::vector<RawSection>& sections,
                           std::uint16_t machine = PE_MACHINE_X86) {
  std::string image(0x80, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = '\x80';
  image += std::string("PE\0\0", 4);
  std::string fileHeader(20, '\0');
  fileHeader[0] = static_cast<char>(machine & 0xFF);
  fileHeader[1] = static_cast<char>(machine >> 8);
  fileHeader[2] = static_cast<char>(sections.size());
  fileHeader[16] = static_cast<char>(optionalSize & 0xFF);
  fileHeader[17] = static_cast<char>(optionalSize >> 8);
  image += fileHeader + std::string(optionalSize, '\0');
  for (auto [offset, size] : sections) {
    std::string header(40, '\0');
    std::string fields;
    appendInt32(fields, static_cast<std::int32_t>(size));
    appendInt32(fields, static_cast<std::int32_t>(offset));
    header.replace(16, 8, fields);
    image += header;
  }
  return image;
}

}  // namespace plimo::test

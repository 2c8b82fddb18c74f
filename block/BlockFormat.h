#pragma once
// The data block an installer carries after the stub's executable image: the
// one description of its bytes, read by the stub (ConfigBlock, PayloadFormat)
// and written by plimo-pack (tools/plimo-pack/BlockWriter).
//
//   image end   the first byte after the furthest section of the PE image
//   magic       CONFIG_MAGIC
//   narrow      count, then count records: id, byte length, bytes (the
//               installer's code page, block/TextKinds.h)
//   wide        count, then count records: id, byte length, UTF-16LE code units
//   payload     one record per payload file: length, then the bytes XOR-ed
//               with PAYLOAD_KEY; how many there are and their names are
//               narrow entries 2002 and 2003
//   anything    after the last record (such as an Authenticode signature) is
//               never read
//
// Every count, id and length is a little-endian int32. A count of zero or
// less is an empty table; a payload record of length zero or less has no data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "block/ByteSource.h"

namespace plimo {

constexpr std::uint32_t CONFIG_MAGIC = 0xE8E413D5u;

// Little-endian fields: the block's, the PE image's, and those of the other
// Windows and zip formats plimo-pack reads. The caller has checked that the
// bytes are there.
inline std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t le16At(std::string_view bytes, std::size_t at) {
  return le16(reinterpret_cast<const unsigned char*>(bytes.data()) + at);
}
inline std::uint32_t le32At(std::string_view bytes, std::size_t at) {
  return le32(reinterpret_cast<const unsigned char*>(bytes.data()) + at);
}

// One byte XOR-ed into every payload data byte; the same operation scrambles
// and unscrambles.
constexpr unsigned char PAYLOAD_KEY = 0xA7;

// Bytes of every count, id and length field.
constexpr std::size_t INT32_FIELD_SIZE = 4;

// The longest record a length field can state (the field is signed).
constexpr std::uint64_t MAX_RECORD_LENGTH = 0x7FFFFFFF;

// The machines of the two stubs' PE file headers.
constexpr std::uint16_t PE_MACHINE_X86 = 0x14C;
constexpr std::uint16_t PE_MACHINE_X64 = 0x8664;

// Why a block could not be read. Each has a fixed text (loadErrorText in
// ConfigBlock.h), shown before any configuration exists.
enum class LoadError { None, OpenExeFile, Magic, ReadInt, ReadString, ReadWString };

// A field's bytes appended to out / decoded from four bytes.
void appendInt32(std::string& out, std::int32_t value);
std::int32_t int32FromBytes(const unsigned char* bytes);

// A field from the source's position; false on a short or failed read.
bool readInt32(ByteSource& source, std::int32_t& value);

// A table record's bytes: its length field, then that many bytes, held
// against the bytes that remain before anything is allocated. False when the
// length is cut short, negative or runs past the end, or the read fails.
bool readRecordBytes(ByteSource& source, std::string& out);

// A wide record's bytes from its text, and its text from its bytes (an odd
// trailing byte cannot form a code unit and is dropped).
void appendUtf16Le(std::string& out, std::u16string_view text);
std::u16string utf16FromLeBytes(std::string_view bytes);

// XOR with PAYLOAD_KEY in place; a word at a time, as payloads can be
// hundreds of megabytes.
void applyPayloadKey(unsigned char* data, std::size_t n);

// The PE file header fields the block depends on.
struct PeHeader {
  std::uint16_t machine = 0;
  std::uint16_t sectionCount = 0;
  std::uint64_t sectionTable = 0;  // file offset of the first section header
};

// Reads the DOS header, the PE signature and the file header at the start of
// the source. ReadInt when the source is too short for them, Magic when they
// are not PE headers.
LoadError readPeHeader(ByteSource& source, PeHeader& header);

// Finds the first byte after the executable image: the largest end (raw data
// offset + raw size) of the section headers. Works for any linker layout and
// for 32- and 64-bit images. ReadInt when the source is too short for the
// headers, Magic when they are not PE headers or describe no section data.
LoadError findEndOfImage(ByteSource& source, std::uint64_t& end);

}  // namespace plimo

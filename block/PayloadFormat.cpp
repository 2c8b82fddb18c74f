#include "block/PayloadFormat.h"

#include <memory>

#include "block/BlockFormat.h"
#include "block/Limits.h"
#include "block/NameRules.h"

namespace plimo {

std::vector<PageText> splitPayloadNames(std::string_view pageList) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= pageList.size()) {
    std::size_t end = pageList.find(';', start);
    if (end == std::string_view::npos) end = pageList.size();
    if (end > start) names.emplace_back(pageList.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

NameFault payloadNameFault(std::string_view pageName) {
  if (pageName.empty()) return NameFault::Empty;
  if (pageName.find_first_of("\\/:") != std::string_view::npos) return NameFault::Separator;
  if (pageName.find_first_not_of(". ") == std::string_view::npos) return NameFault::DotsAndBlanksOnly;
  if (isReservedDeviceName(pageName)) return NameFault::DeviceName;
  return NameFault::None;
}

bool isPlainFileName(std::string_view pageName) { return payloadNameFault(pageName) == NameFault::None; }

AnsiText tempDirNameFrom(std::string_view ansiTempFileName, int randomNumber) {
  std::string out(ansiTempFileName);
  out += "_dir";
  out += std::to_string(randomNumber);
  return out;
}

std::size_t payloadChunkSize(std::uint64_t remaining) {
  return remaining < PAYLOAD_CHUNK_SIZE ? static_cast<std::size_t>(remaining) : PAYLOAD_CHUNK_SIZE;
}

CopyResult copyDescrambled(ByteSource& source, ByteSink& target, std::uint64_t length, bool descramble,
                           CopyProgress* progress) {
  if (length == 0) return CopyResult::Done;
  std::unique_ptr<unsigned char[]> chunkBuffer(new unsigned char[payloadChunkSize(length)]);
  unsigned char* buffer = chunkBuffer.get();
  std::uint64_t done = 0;
  while (done < length) {
    std::size_t chunk = payloadChunkSize(length - done);
    bool failed = false;
    std::size_t got = source.read(buffer, chunk, &failed);
    if (failed) return CopyResult::ReadFailed;
    // A file cut short inside a record: without this the loop would spin.
    if (got == 0) return CopyResult::SourceEnded;
    if (descramble) applyPayloadKey(buffer, got);
    std::size_t written = 0;
    while (written < got) {
      std::size_t step = 0;
      if (!target.write(buffer + written, got - written, step) || step == 0 || step > got - written) {
        return CopyResult::WriteFailed;
      }
      written += step;
    }
    done += got;
    if (progress != nullptr) progress->copied(got);
  }
  return CopyResult::Done;
}

const char* copyFailureCode(CopyResult result) {
  switch (result) {
    case CopyResult::ReadFailed:
    case CopyResult::SourceEnded:
      return "12";
    case CopyResult::WriteFailed:
      return "13";
    case CopyResult::Done:
      break;
  }
  return nullptr;
}

}  // namespace plimo

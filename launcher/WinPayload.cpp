// Unpacks the payload records of the block into a fresh temporary directory.
#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "base/WinExeFile.h"
#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/ConfigBlock.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "block/PayloadFormat.h"
#include "launcher/Payload.h"

namespace plimo {

namespace {

constexpr const char* ERROR_CODE_PLACEHOLDER = "%ERROR_CODE%";

[[noreturn]] void payloadFailure(const char* code) {
  trace("payload extraction failed with code %s", code);
  fatalMessage(msg::INTERNAL_ERROR_CODE, ERROR_CODE_PLACEHOLDER, code);
}

class WinFileByteSink final : public ByteSink {
 public:
  explicit WinFileByteSink(HANDLE file) : file_(file) {}
  bool write(const void* data, std::size_t n, std::size_t& written) override {
    // The dialog was closed: the exit handler is about to remove what was
    // written, and waits for this thread to stop.
    if (processIsEnding()) return false;
    DWORD done = 0;
    BOOL ok = WriteFile(file_, data, static_cast<DWORD>(n), &done, nullptr);
    written = done;
    return ok != FALSE;
  }

 private:
  HANDLE file_;
};

// Adds up the chunks of every record for the payload's progress.
class PayloadTally final : public CopyProgress {
 public:
  PayloadTally(PayloadProgress* progress, std::uint64_t total) : progress_(progress), total_(total) {}
  void copied(std::uint64_t bytes) override {
    written_ += bytes;
    if (progress_ != nullptr) progress_->payloadWritten(written_, total_);
  }

 private:
  PayloadProgress* progress_;
  std::uint64_t total_;
  std::uint64_t written_ = 0;
};

}  // namespace

bool makeTempFileName(AnsiText& out) {
  out.clear();
  wchar_t wide[PATH_BUFFER_SIZE];
  DWORD n = GetTempPathW(PATH_BUFFER_SIZE, wide);
  if (n == 0 || n >= PATH_BUFFER_SIZE) return false;
  // The payload's paths reach the Java VM in the ANSI code page: a user
  // folder it cannot hold is used by its short name.
  std::string directory = ansiPathOrFatal(wide);
  char name[PATH_BUFFER_SIZE];
  if (GetTempFileNameA(directory.c_str(), "plm", 0, name) == 0) return false;
  out = name;
  return true;
}

void createTempDir(AnsiText& tempDir) {
  // Without a name from the system the directory would land relative to
  // whatever directory is current; refuse instead.
  std::string tempFile;
  if (!makeTempFileName(tempFile)) payloadFailure("7");
  DeleteFileA(tempFile.c_str());
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::string directory = tempDirNameFrom(tempFile, std::rand());
  if (directory.size() > MAX_VALUE_LENGTH || !CreateDirectoryA(directory.c_str(), nullptr)) payloadFailure("7");
  // Recorded at once, so that a failure after it still removes the directory.
  extractedDirs.push_back(directory);
  tempDir = directory;
  trace("temporary directory %s", directory.c_str());
}

void writePayloadFile(ByteSource& executable, const AnsiText& path, CopyProgress* progress) {
  std::int32_t length = 0;
  if (!readInt32(executable, length)) fatalText(loadErrorText(LoadError::ReadInt));
  if (length <= 0) return;
  // A record longer than what is left of the file: the executable was cut
  // short. Refused before a half file is written.
  if (static_cast<std::uint64_t>(length) > executable.size() - executable.position()) payloadFailure("12");

  UniqueHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!isValid(file)) payloadFailure("11");
  WinFileByteSink sink(file.get());
  CopyResult result = copyDescrambled(executable, sink, static_cast<std::uint64_t>(length), true, progress);
  // Closed before the thread stops: an open file could not be removed.
  file.reset();
  if (result != CopyResult::Done) payloadFailure(copyFailureCode(result));
}

void extractPayloadFrom(ByteSource& executable, std::uint64_t offset, AnsiText& tempDir,
                        PayloadProgress* progress) {
  tempDir.clear();
  int count = getConfigInt(cfg::PAYLOAD_COUNT);
  if (count == 0) {
    trace("payload: no records to extract");
    return;
  }
  if (!executable.seek(offset)) payloadFailure("12");

  createTempDir(tempDir);
  const std::string& directory = tempDir;
  trace("payload: %d records into %s", count, directory.c_str());

  PayloadTally tally(progress, executable.size() - offset);
  std::vector<std::string> names = splitPayloadNames(getConfigString(cfg::PAYLOAD_NAMES));
  for (std::size_t i = 0; i < names.size() && static_cast<long long>(i) < count; ++i) {
    const std::string& name = names[i];
    // A name that could reach outside the directory is neither written nor
    // recorded: a later clean-up must never delete what it names.
    if (!isPlainFileName(name)) {
      trace("payload: refused name \"%s\"", name.c_str());
      payloadFailure("11");
    }
    std::string path = directory + "\\" + name;
    if (path.size() > MAX_VALUE_LENGTH) payloadFailure("11");
    extractedFiles.push_back(path);
    writePayloadFile(executable, path, &tally);
  }
}

void extractPayload(AnsiText& tempDir, PayloadProgress* progress) {
  tempDir.clear();
  if (getConfigInt(cfg::PAYLOAD_COUNT) == 0) {
    trace("payload: no records to extract");
    return;
  }
  UniqueHandle exe = openExeFile();
  if (!isValid(exe)) payloadFailure("12");
  WinFileByteSource source(exe.get());
  extractPayloadFrom(source, payloadOffset, tempDir, progress);
}

}  // namespace plimo

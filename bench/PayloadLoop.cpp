// The baselines of the payload extraction benchmark: a bare program (no
// dialog, no second thread) that does what the stub's extraction does at its
// core, started and timed exactly like the installer it is compared with.
//
//   payload_loop loop INSTALLER LENGTH DIRECTORY
//     reads the last LENGTH bytes of INSTALLER (where the payload lies) in
//     chunks of PAYLOAD_CHUNK_SIZE, takes the key off each chunk and writes
//     it to DIRECTORY\payload.bin: the stub's copy loop and nothing else.
//   payload_loop copy INSTALLER LENGTH DIRECTORY
//     CopyFileA of the whole installer to DIRECTORY\payload.bin.
//
// Either way DIRECTORY is created first and removed with the file at the end,
// as the stub creates its temporary directory and its exit handler removes
// it: the three sides of the benchmark create, write and delete the same.
// Exit code 0 when every call succeeded.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "block/BlockFormat.h"
#include "block/Limits.h"

namespace {

bool copyLoop(const char* installer, unsigned long long length, const std::string& target) {
  HANDLE in = CreateFileA(installer, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER size;
  bool ok = out != INVALID_HANDLE_VALUE && GetFileSizeEx(in, &size) &&
            static_cast<unsigned long long>(size.QuadPart) >= length;
  if (ok) {
    LARGE_INTEGER start;
    start.QuadPart = size.QuadPart - static_cast<LONGLONG>(length);
    ok = SetFilePointerEx(in, start, nullptr, FILE_BEGIN) != FALSE;
  }
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[plimo::PAYLOAD_CHUNK_SIZE]);
  unsigned long long done = 0;
  while (ok && done < length) {
    DWORD want = static_cast<DWORD>(length - done < plimo::PAYLOAD_CHUNK_SIZE ? length - done
                                                                              : plimo::PAYLOAD_CHUNK_SIZE);
    DWORD got = 0, written = 0;
    ok = ReadFile(in, buffer.get(), want, &got, nullptr) && got > 0;
    if (!ok) break;
    plimo::applyPayloadKey(buffer.get(), got);
    ok = WriteFile(out, buffer.get(), got, &written, nullptr) && written == got;
    done += got;
  }
  CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  bool loop = std::strcmp(argv[1], "loop") == 0;
  if (!loop && std::strcmp(argv[1], "copy") != 0) return 2;
  unsigned long long length = std::strtoull(argv[3], nullptr, 10);
  std::string directory = argv[4];
  if (!CreateDirectoryA(directory.c_str(), nullptr)) return 3;
  std::string target = directory + "\\payload.bin";
  bool ok = loop ? copyLoop(argv[2], length, target) : CopyFileA(argv[2], target.c_str(), FALSE) != FALSE;
  ok = DeleteFileA(target.c_str()) && ok;
  ok = RemoveDirectoryA(directory.c_str()) && ok;
  return ok ? 0 : 1;
}

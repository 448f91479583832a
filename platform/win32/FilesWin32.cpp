// Files through the Win32 API with 8-bit (ANSI) names.
#include <windows.h>

#include <algorithm>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

HANDLE H(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::string FolderOf(const std::string& fileName) {
  const size_t sep = fileName.find_last_of("\\/:");
  return sep == std::string::npos ? std::string(".") : fileName.substr(0, sep + 1);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : handle_(-1) {
  HANDLE h = mode == TMode::fmCreate
                 ? CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                 : CreateFileA(fileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (mode == TMode::fmCreate) throw EFCreateError(Format("Cannot create file %s", fileName));
    throw EFOpenError(Format("Cannot open file %s", fileName));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() {
  if (handle_ != -1) CloseHandle(H(handle_));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &n, nullptr) || n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    if (!WriteFile(H(handle_), static_cast<const char*>(buffer) + done, chunk, &n, nullptr) ||
        n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  const DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                       : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                          : FILE_END;
  if (!SetFilePointerEx(H(handle_), distance, &result, method)) return -1;
  return result.QuadPart;
}

void TFileStream::Flush() {
  if (!FlushFileBuffers(H(handle_))) throw EWriteError("Stream write error");
}

void TFileStream::Close() {
  if (handle_ == -1) return;
  HANDLE h = H(handle_);
  handle_ = -1;
  if (!CloseHandle(h)) throw EWriteError("Stream write error");
}

bool FileExists(const std::string& fileName) {
  const DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TSafeFileWriter::TSafeFileWriter(const std::string& fileName) : fileName_(fileName) {
  const DWORD attributes = GetFileAttributesA(fileName.c_str());
  const bool isLink =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  char temp[MAX_PATH];
  if (!isLink && GetTempFileNameA(FolderOf(fileName).c_str(), "pw", 0, temp) != 0) {
    HANDLE h = CreateFileA(temp, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      tempName_ = temp;
      stream_.reset(new TFileStream(reinterpret_cast<intptr_t>(h)));
      return;
    }
    DeleteFileA(temp);
  }
  stream_ = std::make_unique<TFileStream>(fileName, TFileStream::TMode::fmCreate);
}

TSafeFileWriter::~TSafeFileWriter() {
  stream_.reset();
  if (!committed_ && !tempName_.empty()) DeleteFileA(tempName_.c_str());
}

void TSafeFileWriter::Commit() {
  stream_->Flush();
  stream_->Close();
  if (!tempName_.empty()) {
    // ReplaceFile keeps the target's attributes and security; a new target is
    // simply moved into place.
    const bool replaced =
        GetFileAttributesA(fileName_.c_str()) != INVALID_FILE_ATTRIBUTES
            ? ReplaceFileA(fileName_.c_str(), tempName_.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
            : MoveFileExA(tempName_.c_str(), fileName_.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) throw EFCreateError(Format("Cannot create file %s", fileName_));
  }
  committed_ = true;
}

}  // namespace pw

#include "model/SettingsStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Streams.h"

namespace pw {

// ---- Writer -----------------------------------------------------------------

void TStreamWriter::WriteBytes(const void* data, size_t count) {
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    if (used_ == sizeof buffer_) FlushBuffer();
    const size_t n = std::min(count, sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += n;
    bytes += n;
    count -= n;
  }
}

void TStreamWriter::WriteByte(uint8_t value) {
  if (used_ == sizeof buffer_) FlushBuffer();
  buffer_[used_++] = static_cast<char>(value);
}

void TStreamWriter::WriteShortString(std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), 255);
  WriteByte(static_cast<uint8_t>(n));
  WriteBytes(text.data(), n);
}

namespace {

void PutLittleEndian(TStreamWriter& writer, uint32_t value, int bytes) {
  uint8_t out[4];
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  writer.WriteBytes(out, static_cast<size_t>(bytes));
}

}  // namespace

void TStreamWriter::WriteInteger(int32_t value) {
  if (value >= -128 && value <= 127) {
    WriteTag(stInt8);
    PutLittleEndian(*this, static_cast<uint32_t>(value), 1);
  } else if (value >= -32768 && value <= 32767) {
    WriteTag(stInt16);
    PutLittleEndian(*this, static_cast<uint32_t>(value), 2);
  } else {
    WriteTag(stInt32);
    PutLittleEndian(*this, static_cast<uint32_t>(value), 4);
  }
}

void TStreamWriter::WriteText(const std::string& text) {
  if (text.size() <= 255) {
    WriteTag(stString);
    WriteShortString(text);
  } else {
    WriteTag(stLongString);
    PutLittleEndian(*this, static_cast<uint32_t>(text.size()), 4);
    WriteBytes(text.data(), text.size());
  }
}

void TStreamWriter::FlushBuffer() {
  const size_t n = used_;
  used_ = 0;
  stream_.WriteBuffer(buffer_, static_cast<int64_t>(n));
}

// ---- Reader -----------------------------------------------------------------

namespace {

constexpr size_t kFirstFetch = 64 * 1024;
constexpr uint64_t kFetchStep = 16 * 1024 * 1024;
// A stream that says it holds more than this is read as if it could not say,
// so that no more room is taken than the data read needs.
constexpr uint64_t kLargestExpected = 256u * 1024 * 1024;

}  // namespace

TStreamReader::TStreamReader(TStream& stream)
    : stream_(&stream), bytes_(std::make_shared<TStreamBytes>()) {
  const int64_t here = stream.Seek(0, TSeekOrigin::soCurrent);
  if (here < 0) return;
  const int64_t end = stream.Seek(0, TSeekOrigin::soEnd);
  stream.Seek(here, TSeekOrigin::soBeginning);
  if (end > here && static_cast<uint64_t>(end - here) <= kLargestExpected) {
    expected_ = static_cast<uint64_t>(end - here);
  }
}

TStreamReader::TStreamReader(std::shared_ptr<const TStreamBytes> bytes, size_t begin, size_t end)
    : borrowed_(std::move(bytes)),
      data_(borrowed_->data.get()),
      size_(std::min(end, borrowed_->size)),
      next_(begin) {}

TStreamReader::~TStreamReader() {
  if (stream_ && size_ > next_) {
    stream_->Seek(-static_cast<int64_t>(size_ - next_), TSeekOrigin::soCurrent);
  }
}

void TStreamReader::Fetch(uint64_t count) {
  if (!stream_) throw EReadError("Stream read error");
  TStreamBytes& bytes = *bytes_;
  while (size_ - next_ < count) {
    if (bytes.capacity == 0) {
      // Room for what the stream said it holds; only what is read of it is
      // ever touched.
      Grow(std::max<size_t>(kFirstFetch, static_cast<size_t>(expected_)));
    } else if (bytes.size == bytes.capacity) {
      // The buffer grows only for data that is there, which a small read
      // finds out first.
      char probe[4096];
      const int64_t n = stream_->Read(probe, sizeof probe);
      if (n <= 0) throw EReadError("Stream read error");
      Grow(bytes.capacity * 2);
      std::memcpy(bytes.data.get() + bytes.size, probe, static_cast<size_t>(n));
      bytes.size += static_cast<size_t>(n);
      size_ = bytes.size;
      continue;
    }
    // A small first step, so that a large file of the wrong kind is found
    // out by its first bytes; then large ones.
    const uint64_t missing = count - (size_ - next_);
    const uint64_t usual = bytes.size == 0 ? kFirstFetch : kFetchStep;
    const size_t step = static_cast<size_t>(
        std::min<uint64_t>(bytes.capacity - bytes.size, std::max(missing, usual)));
    const int64_t n = stream_->Read(bytes.data.get() + bytes.size, static_cast<int64_t>(step));
    if (n <= 0) throw EReadError("Stream read error");
    bytes.size += static_cast<size_t>(n);
    size_ = bytes.size;
  }
}

void TStreamReader::Grow(size_t capacity) {
  TStreamBytes& bytes = *bytes_;
  auto larger = std::make_unique_for_overwrite<char[]>(capacity);
  if (bytes.size > 0) std::memcpy(larger.get(), bytes.data.get(), bytes.size);
  bytes.data = std::move(larger);
  bytes.capacity = capacity;
  data_ = bytes.data.get();
}

}  // namespace pw

// The binary property stream in which the settings document is kept: tags,
// the block-buffered writer of those tags and their reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pw {

class TStream;

enum TStreamTag : uint8_t {
  stEnd = 0x00,
  stList = 0x01,
  stInt8 = 0x02,
  stInt16 = 0x03,
  stInt32 = 0x04,
  stString = 0x06,
  stIdent = 0x07,
  stFalse = 0x08,
  stTrue = 0x09,
  stLongString = 0x0C,
  stNil = 0x0D,
  stCollection = 0x0E,
};

inline constexpr int kStreamBlockSize = 4096;

// Collects output in one block and hands it to the stream whenever the block
// is full and once at the end.
class TStreamWriter {
 public:
  explicit TStreamWriter(TStream& stream) : stream_(stream) {}
  TStreamWriter(const TStreamWriter&) = delete;
  TStreamWriter& operator=(const TStreamWriter&) = delete;

  void WriteBytes(const void* data, size_t count);
  void WriteTag(TStreamTag tag) { WriteByte(tag); }
  void WriteByte(uint8_t value);
  // A text cut to its first 255 bytes.
  void WriteShortString(std::string_view text);
  // The smallest integer tag that holds value, with its payload.
  void WriteInteger(int32_t value);
  // stString up to 255 bytes, stLongString from 256.
  void WriteText(const std::string& text);
  void FlushBuffer();  // fails with "Stream write error"

 private:
  TStream& stream_;
  char buffer_[kStreamBlockSize];
  size_t used_ = 0;
};

// The bytes a reader has taken from its stream. They may outlive the reader:
// what is built from them later can keep them.
struct TStreamBytes {
  std::unique_ptr<char[]> data;
  size_t size = 0;
  size_t capacity = 0;
};

// Reads a stream into one buffer that only grows while the reader lives, so
// that a place in the input, taken as an offset, stays readable to the end.
// Data is fetched in steps as it is needed. Room is taken for what the
// stream says it holds and beyond that only for data that has arrived, so a
// length the data cannot back costs nothing. When destroyed the reader sets
// the stream's position back to just after the last byte it used.
class TStreamReader {
 public:
  explicit TStreamReader(TStream& stream);
  // Reads bytes [begin, end) that another reader took, with no stream behind.
  TStreamReader(std::shared_ptr<const TStreamBytes> bytes, size_t begin, size_t end);
  ~TStreamReader();
  TStreamReader(const TStreamReader&) = delete;
  TStreamReader& operator=(const TStreamReader&) = delete;

  // All fail with "Stream read error" when the data ends first.
  uint8_t PeekByte() {
    if (next_ == size_) Fetch(1);
    return static_cast<uint8_t>(data_[next_]);
  }
  uint8_t ReadByte() {
    const uint8_t value = PeekByte();
    ++next_;
    return value;
  }
  // The next count bytes; the view lasts until the next read.
  std::string_view ReadBytes(uint64_t count) {
    if (count > size_ - next_) Fetch(count);
    const std::string_view bytes(data_ + next_, static_cast<size_t>(count));
    next_ += static_cast<size_t>(count);
    return bytes;
  }
  void SkipBytes(uint64_t count) { ReadBytes(count); }
  // A length byte and that many bytes; the view lasts until the next read.
  std::string_view ReadShortString() { return ReadBytes(ReadByte()); }
  // The payload of an integer tag, sign-extended.
  int32_t ReadIntegerPayload(uint8_t tag) {
    const size_t bytes = tag == stInt8 ? 1 : tag == stInt16 ? 2 : 4;
    const std::string_view in = ReadBytes(bytes);
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= uint32_t{static_cast<uint8_t>(in[i])} << (8 * i);
    if (bytes == 1) return static_cast<int8_t>(value);
    if (bytes == 2) return static_cast<int16_t>(value);
    return static_cast<int32_t>(value);
  }

  // Where the next byte is, and bytes already read, by that measure.
  size_t Offset() const { return next_; }
  std::string_view BytesAt(size_t offset, size_t count) const {
    return std::string_view(data_ + offset, count);
  }
  // The bytes fetched so far from the next one on; more may follow.
  std::string_view Available() const { return std::string_view(data_ + next_, size_ - next_); }
  // Everything read so far, for keeping beyond the reader.
  std::shared_ptr<const TStreamBytes> Bytes() const {
    return bytes_ ? bytes_ : borrowed_;
  }

 private:
  // Makes at least count bytes past next_ available.
  void Fetch(uint64_t count);
  void Grow(size_t capacity);

  TStream* stream_ = nullptr;
  std::shared_ptr<TStreamBytes> bytes_;            // what this reader fetches
  std::shared_ptr<const TStreamBytes> borrowed_;  // or what another one did
  const char* data_ = nullptr;                    // the start of either
  size_t size_ = 0;             // the end of what may be read
  size_t next_ = 0;
  // What the stream said it holds past its position; 0 when it cannot say.
  uint64_t expected_ = 0;
};

inline bool IsIntegerTag(uint8_t tag) {
  return tag == stInt8 || tag == stInt16 || tag == stInt32;
}

}  // namespace pw

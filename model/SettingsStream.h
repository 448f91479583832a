// The binary property stream in which the settings document is kept: tags,
// and the block-buffered writer and reader of those tags.
#pragma once

#include <cstdint>
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
  void WriteShortString(const std::string& text);
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

// Reads the stream in blocks; when destroyed it sets the stream's position
// back to just after the last byte it used.
class TStreamReader {
 public:
  explicit TStreamReader(TStream& stream) : stream_(stream) {}
  ~TStreamReader();
  TStreamReader(const TStreamReader&) = delete;
  TStreamReader& operator=(const TStreamReader&) = delete;

  // All fail with "Stream read error" when the data ends first.
  uint8_t PeekByte();
  uint8_t ReadByte();
  void ReadBytes(void* data, size_t count);
  void SkipBytes(uint64_t count);
  std::string ReadShortString();
  // Reads a short string into buffer, which the result points into.
  std::string_view ReadShortString(char (&buffer)[256]);
  // Appends count bytes to text, growing it only as the data arrives.
  void ReadText(std::string& text, uint64_t count);
  // The payload of an integer tag, sign-extended.
  int32_t ReadIntegerPayload(uint8_t tag);

 private:
  void Fill();
  TStream& stream_;
  char buffer_[kStreamBlockSize];
  size_t position_ = 0;
  size_t end_ = 0;
};

bool IsIntegerTag(uint8_t tag);

}  // namespace pw

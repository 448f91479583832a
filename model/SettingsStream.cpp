#include "model/SettingsStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Streams.h"

namespace pw {

bool IsIntegerTag(uint8_t tag) {
  return tag == stInt8 || tag == stInt16 || tag == stInt32;
}

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

void TStreamWriter::WriteShortString(const std::string& text) {
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

TStreamReader::~TStreamReader() {
  if (end_ > position_) {
    stream_.Seek(-static_cast<int64_t>(end_ - position_), TSeekOrigin::soCurrent);
  }
}

void TStreamReader::Fill() {
  position_ = 0;
  end_ = 0;
  const int64_t n = stream_.Read(buffer_, sizeof buffer_);
  if (n <= 0) throw EReadError("Stream read error");
  end_ = static_cast<size_t>(n);
}

uint8_t TStreamReader::PeekByte() {
  if (position_ == end_) Fill();
  return static_cast<uint8_t>(buffer_[position_]);
}

uint8_t TStreamReader::ReadByte() {
  const uint8_t value = PeekByte();
  ++position_;
  return value;
}

void TStreamReader::ReadBytes(void* data, size_t count) {
  char* out = static_cast<char*>(data);
  while (count > 0) {
    if (position_ == end_) Fill();
    const size_t n = std::min(count, end_ - position_);
    std::memcpy(out, buffer_ + position_, n);
    position_ += n;
    out += n;
    count -= n;
  }
}

void TStreamReader::SkipBytes(uint64_t count) {
  while (count > 0) {
    if (position_ == end_) Fill();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, end_ - position_));
    position_ += n;
    count -= n;
  }
}

std::string TStreamReader::ReadShortString() {
  std::string text;
  ReadText(text, ReadByte());
  return text;
}

std::string_view TStreamReader::ReadShortString(char (&buffer)[256]) {
  const uint8_t length = ReadByte();
  ReadBytes(buffer, length);
  return std::string_view(buffer, length);
}

void TStreamReader::ReadText(std::string& text, uint64_t count) {
  // Reserving is bounded, so that a length the data cannot back costs nothing.
  text.reserve(text.size() + static_cast<size_t>(std::min<uint64_t>(count, 65536)));
  while (count > 0) {
    if (position_ == end_) Fill();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, end_ - position_));
    text.append(buffer_ + position_, n);
    position_ += n;
    count -= n;
  }
}

int32_t TStreamReader::ReadIntegerPayload(uint8_t tag) {
  const int bytes = tag == stInt8 ? 1 : tag == stInt16 ? 2 : 4;
  uint8_t in[4];
  ReadBytes(in, static_cast<size_t>(bytes));
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(in[i]) << (8 * i);
  if (bytes == 1) return static_cast<int8_t>(value);
  if (bytes == 2) return static_cast<int16_t>(value);
  return static_cast<int32_t>(value);
}

}  // namespace pw

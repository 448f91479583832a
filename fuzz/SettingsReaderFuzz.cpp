// Feeds arbitrary bytes to the settings reader. Any input must end in a
// result or an error of ours. A document that was read is written and read
// again twice: the first round may settle defaults (an empty output folder is
// not written and comes back as the default one), after that the stream must
// not change.
//
// Each input is read a second time the way a pipe delivers it: from a stream
// that cannot say its size and hands out a few bytes a read, with the input's
// properties placed across the point where the reader's buffer first has to
// grow. That is where a view into the buffer could be left pointing at freed
// memory; a stream that says its size is read into one buffer that never
// grows. Both reads must end alike.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "model/HoardkeeperClasses.h"
#include "model/SettingsStream.h"
#include "platform/Errors.h"
#include "platform/Streams.h"

namespace {

// The room the reader takes first for a stream that cannot say its size.
constexpr size_t kFirstBuffer = 64 * 1024;

// Says nothing of its size and hands out at most chunk bytes a read.
class TPipeStream final : public pw::TStream {
 public:
  TPipeStream(std::string bytes, size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  int64_t Read(void* buffer, int64_t count) override {
    const size_t n = std::min({static_cast<size_t>(count), bytes_.size() - position_, chunk_});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<int64_t>(n);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, pw::TSeekOrigin) override { return -1; }

 private:
  std::string bytes_;
  size_t chunk_;
  size_t position_ = 0;
};

// Where the manager's properties begin: after the signature, the optional
// flags with their integer, the class name and the object name. 0 when the
// input has no such beginning.
size_t PropertiesStart(const std::string& in) {
  if (in.compare(0, 4, "TPF0") != 0) return 0;
  size_t at = 4;
  auto byte = [&]() -> int { return at < in.size() ? static_cast<uint8_t>(in[at++]) : -1; };
  if (at < in.size() && static_cast<uint8_t>(in[at]) >= 0xF0 && (byte() & 2)) {
    const int tag = byte();
    if (!pw::IsIntegerTag(static_cast<uint8_t>(tag))) return 0;
    at += tag == pw::stInt8 ? 1 : tag == pw::stInt16 ? 2 : 4;
  }
  for (int names = 0; names < 2; ++names) {
    const int length = byte();
    if (length < 0) return 0;
    at += static_cast<size_t>(length);
  }
  return at <= in.size() ? at : 0;
}

// The same document with properties that change nothing put in front of its
// own (a list property given by a name, which leaves the list as it is), so
// that the middle of its own properties lies where the buffer grows.
std::string Padded(const std::string& in) {
  const size_t start = PropertiesStart(in);
  if (start == 0) return in;
  const size_t rest = in.size() - start;
  size_t room = kFirstBuffer > start + rest / 2 ? kFirstBuffer - start - rest / 2 : 0;
  std::string padding;
  // One property of 8 to 263 bytes: the name, the tag, the length, the text.
  auto property = [&](size_t size) {
    padding += '\x05';
    padding += "Rules";
    padding += static_cast<char>(pw::stIdent);
    padding += static_cast<char>(size - 8);
    padding.append(size - 8, 'p');
    room -= size;
  };
  while (room >= 263 + 8) property(263);
  if (room > 263) property(room - 8);
  if (room >= 8) property(room);
  return in.substr(0, start) + padding + in.substr(start);
}

// The written form of what was read, or the message of the error.
std::string Outcome(pw::TStream& input) {
  pw::TbkManager manager;
  try {
    manager.LoadFromStream(input);
  } catch (const pw::Exception& e) {
    return "error: " + e.Message();
  }
  pw::TMemoryStream written;
  manager.SaveToStream(written, true);
  return written.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  pw::TMemoryStream input(bytes);
  const std::string read = Outcome(input);
  TPipeStream pipe(Padded(bytes), 1 + size % 4096);
  if (Outcome(pipe) != read) std::abort();
  if (read.rfind("error: ", 0) == 0) return 0;

  auto roundTrip = [](const std::string& from) {
    pw::TMemoryStream stream(from);
    auto to = std::make_unique<pw::TbkManager>();
    to->LoadFromStream(stream);
    pw::TMemoryStream written;
    to->SaveToStream(written, true);
    return written.Bytes();
  };
  const std::string second = roundTrip(read);
  const std::string third = roundTrip(second);
  if (second != third) std::abort();
  return 0;
}

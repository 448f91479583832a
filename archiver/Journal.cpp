#include "archiver/Journal.h"

#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "archiver/ArchiveCommands.h"
#include "platform/Errors.h"
#include "platform/Streams.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

enum TMember {
  kDirectory,
  kPosition,
  kArchive,
  kStarted,
  kEnded,
  kStatus,
  kError,
  kBytes,
  // The members a line may leave out, each written only when the record has
  // one: from here on.
  kWarning,
  kTested,
  kKind,
  kMembers
};
constexpr int kFirstOptional = kWarning;

// In the order the lines are written.
constexpr std::string_view kNames[kMembers] = {
    "directory", "position", "archive", "started", "ended", "status",
    "error",     "bytes",    "warning", "tested",  "kind"};

constexpr std::string_view kPrunedKind = "pruned";

// One member's value, whichever way its line was read.
struct TValue {
  enum class TKind { vkAbsent, vkNull, vkFalse, vkTrue, vkInteger, vkString, vkOther };
  TKind kind = TKind::vkOther;
  int64_t integer = 0;
  std::string text;
};
using TValues = std::array<TValue, kMembers>;
using TKind = TValue::TKind;

// A line in exactly the layout that JournalLine writes: the members in their
// order, no spaces, integers of at most 18 digits, strings without \u
// escapes. Nearly every line of a journal is one, and reading it here rather
// than through the JSON library makes a large journal several times faster
// to read (bench/JournalBench.cpp). Anything else, edited by hand or written
// by another tool, is left to the library: this reader only ever says "not
// mine" where the two could differ, so they never disagree on a line.
class TLayoutReader {
  // The bytes that a string holds as they are: printable ASCII but for the
  // quote and the backslash.
  static constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 0x80; ++b) plain[b] = b != '"' && b != '\\';
    return plain;
  }();

 public:
  explicit TLayoutReader(std::string_view line) : p_(line.data()), end_(p_ + line.size()) {}

  bool Read(TValues& values) {
    for (int i = 0; i < kMembers; ++i) {
      const char* before = p_;
      if (!Take(i == 0 ? '{' : ',') || !Take('"') || !Take(kNames[i]) || !Take('"') || !Take(':')) {
        if (i < kFirstOptional) return false;
        // Left out: what follows is the next member's or the end.
        p_ = before;
        values[i].kind = TKind::vkAbsent;
        continue;
      }
      if (!Value(values[i])) return false;
    }
    return Take('}') && p_ == end_;
  }

 private:
  bool Take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  bool Take(std::string_view word) {
    if (static_cast<size_t>(end_ - p_) < word.size() ||
        std::memcmp(p_, word.data(), word.size()) != 0) {
      return false;
    }
    p_ += word.size();
    return true;
  }

  bool Value(TValue& value) {
    if (p_ == end_) return false;
    if (*p_ == '"') {
      value.kind = TKind::vkString;
      return String(value.text);
    }
    if (*p_ == 'n') {
      value.kind = TKind::vkNull;
      return Take("null");
    }
    if (*p_ == 't' || *p_ == 'f') {
      value.kind = *p_ == 't' ? TKind::vkTrue : TKind::vkFalse;
      return Take(*p_ == 't' ? "true" : "false");
    }
    value.kind = TKind::vkInteger;
    return Integer(value.integer);
  }

  // What follows the digits is the caller's to check: a fraction or an
  // exponent is then no "," or "}".
  bool Integer(int64_t& out) {
    const bool negative = Take('-');
    const char* digits = p_;
    int64_t value = 0;
    while (p_ != end_ && *p_ >= '0' && *p_ <= '9') {
      if (p_ - digits == 18) return false;  // more than surely fit
      value = value * 10 + (*p_++ - '0');
    }
    const auto count = p_ - digits;
    if (count == 0 || (*digits == '0' && count > 1)) return false;
    out = negative ? -value : value;
    return true;
  }

  bool String(std::string& out) {
    ++p_;
    out.clear();
    bool ascii = true;
    const char* run = p_;
    while (p_ != end_) {
      while (p_ != end_ && kPlain[static_cast<unsigned char>(*p_)]) ++p_;
      if (p_ == end_) break;
      const auto byte = static_cast<unsigned char>(*p_);
      if (byte == '"') {
        out.append(run, p_);
        ++p_;
        // An escape is ASCII and breaks a multi-byte sequence just as the
        // backslash did, so checking the result checks the line.
        return ascii || IsValidUtf8(out);
      }
      if (byte < 0x20) return false;
      if (byte >= 0x80) ascii = false;
      if (byte != '\\') {
        ++p_;
        continue;
      }
      out.append(run, p_);
      if (++p_ == end_) return false;
      // \u, and anything that is no escape, is left to the library.
      static constexpr std::string_view kEscapes = "\"\\/bfnrt", kMeanings = "\"\\/\b\f\n\r\t";
      const size_t escape = kEscapes.find(*p_);
      if (escape == std::string_view::npos) return false;
      out += kMeanings[escape];
      run = ++p_;
    }
    return false;
  }

  const char* p_;
  const char* end_;
};

// Any JSON object, through the library.
bool ReadJsonValues(std::string_view line, TValues& values) {
  const auto json = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
  if (!json.is_object()) return false;  // a discarded parse is no object either
  for (int i = 0; i < kMembers; ++i) {
    const auto found = json.find(kNames[i]);
    TValue& value = values[i];
    if (found == json.end() && i >= kFirstOptional) {
      value.kind = TKind::vkAbsent;
      continue;
    }
    if (found == json.end()) return false;
    value.kind = TKind::vkOther;
    if (found->is_null()) {
      value.kind = TKind::vkNull;
    } else if (found->is_boolean()) {
      value.kind = found->get<bool>() ? TKind::vkTrue : TKind::vkFalse;
    } else if (found->is_string()) {
      value.kind = TKind::vkString;
      value.text = found->get<std::string>();
    } else if (found->is_number_integer() &&
               !(found->is_number_unsigned() && found->get<uint64_t>() > INT64_MAX)) {
      value.kind = TKind::vkInteger;
      value.integer = found->get<int64_t>();
    }
  }
  return true;
}

bool IsText(const TValue& v) {
  return v.kind == TKind::vkString;
}

bool IsTextOrNull(const TValue& v) {
  return v.kind == TKind::vkString || v.kind == TKind::vkNull;
}

bool IsAbsentOrNull(const TValue& v) {
  return v.kind == TKind::vkAbsent || v.kind == TKind::vkNull;
}

bool IsIntegerOrNull(const TValue& v, int64_t low, int64_t high) {
  return v.kind == TKind::vkNull ||
         (v.kind == TKind::vkInteger && v.integer >= low && v.integer <= high);
}

// Into the record's own strings, whose memory serves line after line.
void Text(const TValue& v, std::string& text) {
  if (v.kind == TKind::vkNull) {
    text.clear();
  } else {
    Utf8ToLocal8Bit(v.text, text);
  }
}

void Text(const TValue& v, std::optional<std::string>& text) {
  if (IsAbsentOrNull(v)) {
    text.reset();
  } else {
    Text(v, text ? *text : text.emplace());
  }
}

bool ToRecord(const TValues& v, TJournalRecord& record) {
  const bool valid = IsText(v[kDirectory]) && v[kPosition].kind == TKind::vkInteger &&
                     v[kPosition].integer >= 1 && v[kPosition].integer <= INT_MAX &&
                     IsText(v[kArchive]) && IsText(v[kStarted]) && IsTextOrNull(v[kEnded]) &&
                     IsIntegerOrNull(v[kStatus], INT_MIN, INT_MAX) && IsTextOrNull(v[kError]) &&
                     IsIntegerOrNull(v[kBytes], 0, INT64_MAX) &&
                     (IsText(v[kWarning]) || IsAbsentOrNull(v[kWarning]));
  if (!valid) return false;
  const TValue& tested = v[kTested];
  const TValue& kind = v[kKind];
  switch (tested.kind) {
    case TKind::vkAbsent: record.tested = TArchiveTest::atNotTested; break;
    case TKind::vkNull: record.tested = TArchiveTest::atNoTest; break;
    case TKind::vkTrue: record.tested = TArchiveTest::atPassed; break;
    case TKind::vkFalse: record.tested = TArchiveTest::atFailed; break;
    default: return false;
  }
  if (kind.kind == TKind::vkAbsent) {
    record.kind = TRecordKind::rkJob;
  } else if (kind.kind == TKind::vkString && kind.text == kPrunedKind) {
    record.kind = TRecordKind::rkPruned;
  } else {
    return false;  // a kind of record this program does not know
  }
  Text(v[kDirectory], record.directory);
  record.position = static_cast<int>(v[kPosition].integer);
  Text(v[kArchive], record.archive);
  Text(v[kStarted], record.started);
  Text(v[kEnded], record.ended);
  record.status.reset();
  if (v[kStatus].kind == TKind::vkInteger) record.status = static_cast<int>(v[kStatus].integer);
  Text(v[kError], record.error);
  record.bytes.reset();
  if (v[kBytes].kind == TKind::vkInteger) record.bytes = v[kBytes].integer;
  Text(v[kWarning], record.warning);
  return true;
}

bool ReadLine(std::string_view line, TValues& values, TJournalRecord& record) {
  return (TLayoutReader(line).Read(values) || ReadJsonValues(line, values)) &&
         ToRecord(values, record);
}

}  // namespace

std::optional<TJournalRecord> JournalRecordOfLine(std::string_view line) {
  TValues values;
  TJournalRecord record;
  if (!ReadLine(line, values, record)) return std::nullopt;
  return record;
}

std::string JournalFileName(const std::string& settingsFileName) {
  return ExtractFilePath(settingsFileName) + "Packetwright.journal";
}

namespace {

// The bytes that one byte of UTF-8 takes in a JSON string as the library
// writes it: the quote, the backslash and the control characters escaped,
// everything else as it is.
size_t JsonBytes(unsigned char byte) {
  switch (byte) {
    case '"':
    case '\\':
    case '\b':
    case '\f':
    case '\n':
    case '\r':
    case '\t':
      return 2;
    default:
      return byte < 0x20 ? 6 : 1;  // \u00XX
  }
}

}  // namespace

std::string JournalText(const std::string& text) {
  std::string utf8 = Local8BitToUtf8(text);
  constexpr size_t kRoom = kJournalTextMost - 2;  // the quotes
  // Nearly every text: even escaped throughout it would fit.
  if (utf8.size() <= kRoom / 6) return utf8;
  constexpr std::string_view kEllipsis = "...";
  size_t bytes = 0;
  size_t cut = 0;  // the last start of a character that leaves room for the ellipsis
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    // Local8BitToUtf8 gives valid UTF-8: a byte that is no continuation
    // byte starts a character.
    if ((byte & 0xC0) != 0x80 && bytes + kEllipsis.size() <= kRoom) cut = i;
    bytes += JsonBytes(byte);
    if (bytes > kRoom) {
      utf8.resize(cut);
      utf8 += kEllipsis;
      return utf8;
    }
  }
  return utf8;
}

std::string JournalLine(const TJournalRecord& r) {
  if (r.position < 1) throw Exception(Format("Journal record for position %d", r.position));
  if (r.bytes && *r.bytes < 0) throw Exception(Format("Journal record of %d bytes", *r.bytes));
  using Json = nlohmann::ordered_json;
  const auto text = [](const std::string& s) { return Json(JournalText(s)); };
  Json line = {
      {"directory", text(r.directory)},
      {"position", r.position},
      {"archive", text(r.archive)},
      {"started", text(r.started)},
      {"ended", r.ended.empty() ? Json(nullptr) : text(r.ended)},
      {"status", r.status ? Json(*r.status) : Json(nullptr)},
      {"error", r.error ? text(*r.error) : Json(nullptr)},
      {"bytes", r.bytes ? Json(*r.bytes) : Json(nullptr)},
  };
  // Left out where there is none, as in the lines of earlier versions.
  if (r.warning) line["warning"] = text(*r.warning);
  switch (r.tested) {
    case TArchiveTest::atNotTested: break;
    case TArchiveTest::atNoTest: line["tested"] = nullptr; break;
    case TArchiveTest::atPassed: line["tested"] = true; break;
    case TArchiveTest::atFailed: line["tested"] = false; break;
  }
  if (r.kind == TRecordKind::rkPruned) line["kind"] = kPrunedKind;
  return line.dump() + '\n';
}

void AppendJournalRecord(const std::string& journalFile, const TJournalRecord& record) {
  std::string line = JournalLine(record);
  std::optional<TFileStream> journal;
  try {
    journal.emplace(journalFile, TFileStream::TMode::fmAppend);
  } catch (const ENotRegularFile&) {
    throw EFOpenError("The journal " + journalFile + " is not a regular file");
  } catch (const EStreamError&) {
    throw EFCreateError("Cannot open the journal " + journalFile);
  }
  try {
    // Whether the last line is whole, and this record's write, are one step
    // among the writers: another's line half written when this one looked
    // would otherwise be taken for a torn one and get an empty line after it.
    journal->Lock();
    // After a torn last line this record would otherwise be glued to it and
    // be lost with it.
    char last = '\n';
    if (journal->Seek(-1, TSeekOrigin::soEnd) >= 0 && journal->Read(&last, 1) == 1 &&
        last != '\n') {
      line.insert(line.begin(), '\n');
    }
    journal->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
    journal->Flush();
    journal->Close();
  } catch (const EStreamError&) {
    throw EWriteError("Cannot write the journal " + journalFile);
  }
}

namespace {

// Every record with its line, in file order; size is the journal's size in
// bytes once it is open, tooLong the number of lines passed over as longer
// than kJournalLineMost.
template <class Each>
void ReadRecords(const std::string& journalFile, int64_t& size, size_t& tooLong, Each&& each) {
  size = 0;
  tooLong = 0;
  if (!FileExists(journalFile)) return;
  std::optional<TFileStream> opened;
  try {
    opened.emplace(journalFile, TFileStream::TMode::fmOpenReadShared);
  } catch (const ENotRegularFile&) {
    // A FIFO would keep the reader waiting for a writer for ever.
    throw EFOpenError("The journal " + journalFile + " is not a regular file");
  }
  TFileStream& journal = *opened;
  size = std::max<int64_t>(0, journal.Seek(0, TSeekOrigin::soEnd));
  journal.SetPosition(0);
  constexpr size_t kChunk = 1 << 20;
  std::string buffer;
  TValues values;
  TJournalRecord record;
  const auto line = [&](std::string_view text) {
    if (text.size() > kJournalLineMost) {
      ++tooLong;
    } else if (ReadLine(text, values, record)) {
      each(record, text);
    }
  };
  // Within a line too long to keep, whose start has been counted and let
  // go: the bytes up to its end are dropped as they come.
  bool passing = false;
  for (bool atEnd = false; !atEnd;) {
    // The unfinished line stays in front of the next chunk.
    const size_t kept = buffer.size();
    buffer.resize(kept + kChunk);
    const auto got = static_cast<size_t>(
        std::max<int64_t>(0, journal.Read(buffer.data() + kept, static_cast<int64_t>(kChunk))));
    buffer.resize(kept + got);
    atEnd = got < kChunk;
    const std::string_view view(buffer);
    size_t start = 0;
    if (passing) {
      const size_t end = view.find('\n');
      if (end == std::string_view::npos) {
        buffer.clear();
        continue;
      }
      passing = false;
      start = end + 1;
    }
    for (size_t at = std::max(kept, start); (at = view.find('\n', at)) != std::string_view::npos;
         ++at) {
      line(view.substr(start, at - start));
      start = at + 1;
    }
    if (atEnd && start < view.size()) {
      line(view.substr(start));  // complete but for its line end
      start = view.size();
    }
    if (view.size() - start > kJournalLineMost) {
      // Already too long to be a record, wherever it ends.
      ++tooLong;
      passing = true;
      start = view.size();
    }
    buffer.erase(0, start);
  }
}

}  // namespace

size_t ForEachJournalRecord(
    const std::string& journalFile,
    const std::function<void(TJournalRecord& record, std::string_view line)>& each) {
  int64_t size;
  size_t tooLong;
  ReadRecords(journalFile, size, tooLong, each);
  return tooLong;
}

std::vector<TJournalRecord> ReadJournal(const std::string& journalFile) {
  size_t tooLong;
  return ReadJournal(journalFile, tooLong);
}

std::vector<TJournalRecord> ReadJournal(const std::string& journalFile, size_t& tooLong) {
  std::vector<TJournalRecord> records;
  int64_t size = 0, seen = 0;
  constexpr size_t kSample = 1000;
  ReadRecords(journalFile, size, tooLong, [&](TJournalRecord& record, std::string_view line) {
    // A large journal's records are mostly alike: their first lines tell
    // how many there are, and the vector is made once instead of grown and
    // moved into ever larger copies, which costs more than the reading.
    seen += static_cast<int64_t>(line.size()) + 1;
    if (records.size() == kSample && size > 2 * seen) {
      records.reserve(static_cast<size_t>(size * kSample / seen * 17 / 16));
    }
    records.push_back(std::move(record));
  });
  return records;
}

std::string TooLongRecordsNote(size_t tooLong) {
  const std::string most = std::to_string(kJournalLineMost >> 20) + " MiB";
  if (tooLong == 1) return "1 record of the journal was passed over: longer than " + most;
  return std::to_string(tooLong) + " records of the journal were passed over: each longer than " +
         most;
}

std::string AsReadFromJournal(const std::string& text) {
  return Utf8ToLocal8Bit(Local8BitToUtf8(text));
}

std::string JournalTimeNow() {
  using namespace std::chrono;
  const sys_seconds now = floor<seconds>(system_clock::now());
  const std::time_t seconds = system_clock::to_time_t(now);
  // The reentrant forms: jobs that run side by side journal from their own threads.
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &seconds) != 0) local = std::tm{};
#else
  if (!localtime_r(&seconds, &local)) local = std::tm{};
#endif
  // The offset is how far the local calendar runs ahead of UTC.
  const sys_seconds localAsUtc =
      sys_days{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday} +
      hours{local.tm_hour} + minutes{local.tm_min} + std::chrono::seconds{local.tm_sec};
  const auto offset = round<minutes>(localAsUtc - now).count();
  const auto magnitude = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset < 0 ? '-' : '+', static_cast<int>(magnitude / 60),
                static_cast<int>(magnitude % 60));
  return text;
}

std::optional<int64_t> JournalSeconds(const std::string& text) {
  // "yyyy-mm-ddThh:mm:ss+hh:mm", as JournalTimeNow writes it; "Z" for UTC too.
  static const char kShape[] = "dddd-dd-ddTdd:dd:dd";
  const size_t stamp = sizeof kShape - 1;
  if (text.size() != stamp + 6 && text.size() != stamp + 1) return std::nullopt;
  for (size_t i = 0; i < stamp; ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  const auto number = [&](size_t at, size_t digits) {
    int n = 0;
    for (size_t i = at; i < at + digits; ++i) n = n * 10 + (text[i] - '0');
    return n;
  };
  int offset = 0;
  if (text.size() == stamp + 1) {
    if (text[stamp] != 'Z') return std::nullopt;
  } else {
    const char sign = text[stamp];
    const std::string_view zone = std::string_view(text).substr(stamp + 1);
    if ((sign != '+' && sign != '-') || zone[2] != ':') return std::nullopt;
    for (const size_t i : {0, 1, 3, 4}) {
      if (zone[i] < '0' || zone[i] > '9') return std::nullopt;
    }
    offset = (number(stamp + 1, 2) * 60 + number(stamp + 4, 2)) * (sign == '-' ? -1 : 1);
  }
  using namespace std::chrono;
  const year_month_day day{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                           std::chrono::day{static_cast<unsigned>(number(8, 2))}};
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!day.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const sys_seconds local = sys_days{day} + hours{hour} + minutes{minute} + seconds{second};
  return (local - minutes{offset}).time_since_epoch().count();
}

}  // namespace pw

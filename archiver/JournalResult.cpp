#include "archiver/JournalResult.h"

#include <string_view>

#include "archiver/JobPool.h"
#include "platform/Process.h"

namespace pw {

namespace {

bool EndsWithIgnoringCase(const std::string& text, std::string_view end) {
  if (end.empty() || text.size() < end.size()) return false;
  const size_t from = text.size() - end.size();
  for (size_t i = 0; i < end.size(); ++i) {
    char c = text[from + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != end[i]) return false;
  }
  return true;
}

std::string SevenZipMeaning(int status) {
  switch (status) {
    case 1:
      return "Warning: some files could not be read (7-Zip's own lines say which, and why)";
    case 2:
      return "Fatal error";
    case 7:
      return "Command line error";
    case 8:
      return "Not enough memory";
    case 255:
      return "Stopped by the user";
    default:
      return {};
  }
}

std::string RarMeaning(int status) {
  switch (status) {
    case 1:
      return "Warning: non-fatal errors";
    case 2:
      return "Fatal error";
    case 3:
      return "Invalid checksum: the data are damaged";
    case 4:
      return "The archive is locked";
    case 5:
      return "Write error";
    case 6:
      return "A file could not be opened";
    case 7:
      return "Command line error";
    case 8:
      return "Not enough memory";
    case 9:
      return "A file could not be created";
    case 10:
      return "No file matched the masks";
    case 11:
      return "Wrong password";
    case 255:
      return "Stopped by the user";
    default:
      return {};
  }
}

}  // namespace

namespace {

constexpr std::string_view kEndedBySignal = "Ended by signal ";

// The errors that a stop gives a job whose archiver ran.
bool StopError(const std::string& error) {
  return error == kStoppedCancelled || error.compare(0, kEndedBySignal.size(), kEndedBySignal) == 0;
}

}  // namespace

std::string EndedBySignal(int signal) {
  return std::string(kEndedBySignal) + std::to_string(signal) + " (" + SignalDescription(signal) +
         ")";
}

TJobResult JobResultOf(const TJournalRecord& r) {
  if (!r.IsJob()) return r.error ? TJobResult::jrNotPruned : TJobResult::jrPruned;
  if (!r.status) return r.error ? TJobResult::jrNotStarted : TJobResult::jrNotAwaited;
  if (r.error && StopError(*r.error)) return TJobResult::jrStopped;
  if (*r.status != 0) return TJobResult::jrExitStatus;
  if (r.error) return TJobResult::jrFailed;
  return r.warning ? TJobResult::jrWarning : TJobResult::jrOk;
}

bool JobFailed(const TJournalRecord& r) {
  const TJobResult result = JobResultOf(r);
  return r.IsJob() && result != TJobResult::jrOk && result != TJobResult::jrWarning &&
         result != TJobResult::jrNotAwaited;
}

bool JobArchived(const TJournalRecord& r) {
  const TJobResult result = JobResultOf(r);
  return result == TJobResult::jrOk || result == TJobResult::jrWarning;
}

TArchiverFamily FamilyOfArchive(const std::string& archive) {
  for (const TArchiverFamily family :
       {TArchiverFamily::af7Zip, TArchiverFamily::afRar, TArchiverFamily::afWinZip}) {
    if (EndsWithIgnoringCase(archive, ArchiveExtension(family))) return family;
  }
  return TArchiverFamily::afOther;
}

std::string ExitStatusMeaning(TArchiverFamily family, int status) {
  std::string meaning;
  if (family == TArchiverFamily::af7Zip) meaning = SevenZipMeaning(status);
  if (family == TArchiverFamily::afRar) meaning = RarMeaning(status);
  if (!meaning.empty()) return meaning;
  return "The archiver ended with exit status " + std::to_string(status);
}

std::string JobResultText(const TJournalRecord& r) {
  switch (JobResultOf(r)) {
    case TJobResult::jrOk:
      return "OK";
    case TJobResult::jrWarning:
      return "Warning";
    case TJobResult::jrExitStatus:
      return "Exit " + std::to_string(*r.status);
    case TJobResult::jrStopped:
      return r.error == kStoppedCancelled ? "Cancelled" : "Stopped";
    case TJobResult::jrFailed:
      return "Failed";
    case TJobResult::jrNotStarted:
      return "Not started";
    case TJobResult::jrNotAwaited:
      return "Started";
    case TJobResult::jrPruned:
      return "Pruned";
    case TJobResult::jrNotPruned:
      return "Not pruned";
  }
  return {};
}

std::string JobResultExplanation(const TJournalRecord& r) {
  std::string explanation;
  if (r.error) {
    explanation = *r.error;
  } else if (JobResultOf(r) == TJobResult::jrExitStatus) {
    explanation = ExitStatusMeaning(FamilyOfArchive(r.archive), *r.status);
  } else if (JobResultOf(r) == TJobResult::jrNotAwaited) {
    explanation = "Started without waiting: the result is not known";
  }
  if (r.warning) explanation += (explanation.empty() ? "" : "\n") + *r.warning;
  return explanation;
}

std::string WarningOnOneLine(const std::string& warning) {
  std::string line;
  size_t from = 0;
  for (size_t end; (end = warning.find('\n', from)) != std::string::npos; from = end + 1) {
    line.append(warning, from, end - from).append("; ");
  }
  return line.append(warning, from, std::string::npos);
}

std::string CompanionResultText(const TJournalRecord& r) {
  switch (JobResultOf(r)) {
    case TJobResult::jrOk:
      return "OK";
    case TJobResult::jrWarning:
      return "warning";
    case TJobResult::jrExitStatus:
      return "exit status " + std::to_string(*r.status);
    case TJobResult::jrStopped:
      return "stopped (exit status " + std::to_string(*r.status) + ")";
    case TJobResult::jrFailed:
      return "failed";
    case TJobResult::jrNotStarted:
      return "not run";
    case TJobResult::jrNotAwaited:
      return "not awaited";
    case TJobResult::jrPruned:
      return "pruned";
    case TJobResult::jrNotPruned:
      return "not pruned";
  }
  return {};
}

}  // namespace pw

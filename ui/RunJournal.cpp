#include "ui/RunJournal.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <string_view>

#include "archiver/ArchiveCommands.h"
#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"
#include "ui/UiText.h"

namespace pw {

QString RunResultText(const TJournalRecord& r) {
  return ToQt(JobResultText(r));
}

QString RunResultExplanation(const TJournalRecord& r) {
  return ToQt(JobResultExplanation(r));
}

bool RunFailed(const TJournalRecord& r) {
  return JobFailed(r);
}

std::string SeenNightsFileName(const std::string& settingsFileName) {
  return ExtractFilePath(settingsFileName) + "Packetwright.seen";
}

std::string NightsMark(const TNightsReport& report) {
  const std::string line = NightsLine(report);
  if (line.empty()) return line;
  return line + "\n" + (report.lastRecord ? report.lastRecord->started : std::string()) + "\n";
}

std::string SeenNights(const std::string& settingsFileName) {
  const std::string file = SeenNightsFileName(settingsFileName);
  if (!FileExists(file)) return {};
  try {
    TFileStream in(file, TFileStream::TMode::fmOpenRead);
    // A mark is a line and a time; anything longer is none of this program's.
    std::string mark(1024, '\0');
    mark.resize(static_cast<size_t>(in.Read(mark.data(), static_cast<int64_t>(mark.size()))));
    return mark;
  } catch (const Exception&) {
    return {};
  }
}

bool RememberSeenNights(const std::string& settingsFileName, const std::string& mark) {
  try {
    TSafeFileWriter out(SeenNightsFileName(settingsFileName));
    out.Stream().WriteBuffer(mark.data(), static_cast<int64_t>(mark.size()));
    out.Commit();
    return true;
  } catch (const Exception&) {
    return false;
  }
}

QDateTime JournalTime(const std::string& text) {
  const std::optional<int64_t> seconds = JournalSeconds(text);
  return seconds ? QDateTime::fromSecsSinceEpoch(*seconds).toLocalTime() : QDateTime();
}

QString JournalTimeText(const std::string& text) {
  const QDateTime time = JournalTime(text);
  if (!time.isValid()) return ToQt(text);
  // The locale's short date and time, to the minute: some locales' short
  // time still has seconds, which only make a list column wider.
  const QLocale locale;
  QString format = locale.timeFormat(QLocale::ShortFormat);
  format.remove(QRegularExpression("[:.]ss?"));
  return locale.toString(time, locale.dateFormat(QLocale::ShortFormat) + " " + format);
}

std::unordered_map<std::string, TJournalRecord> LatestRuns(const std::string& journalFile) {
  std::unordered_map<std::string, TJournalRecord> latest;
  try {
    ForEachJournalRecord(journalFile, [&](TJournalRecord& record, std::string_view) {
      if (!record.IsJob()) return;  // a prune's: no run of the directory
      std::string key = record.directory;
      latest.insert_or_assign(std::move(key), std::move(record));
    });
  } catch (const Exception&) {
    // A journal that cannot be opened now may be readable at its next change;
    // the list then shows no runs rather than an error box at every change.
    latest.clear();
  }
  return latest;
}

// ---- TJournalWatcher -------------------------------------------------------------

TJournalWatcher::TJournalWatcher(const std::string& journalFile, QObject* parent)
    : QObject(parent), file_(journalFile), path_(ToQt(journalFile)) {
  settle_.setSingleShot(true);
  settle_.setInterval(150);
  connect(&settle_, &QTimer::timeout, this, [this] {
    const QFileInfo info(path_);
    size_ = info.exists() ? info.size() : -1;
    modified_ = info.exists() ? info.lastModified() : QDateTime();
    // The watch may still be on a file that was replaced since: start afresh.
    if (watcher_.files().contains(path_)) watcher_.removePath(path_);
    Watch();
    emit Changed();
  });
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
    Watch();
    settle_.start();
  });
  // The folder changes for every file in it; only a journal that came, went
  // or was replaced by another of a different size or time counts.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Noticed(); });
  const QFileInfo info(path_);
  size_ = info.exists() ? info.size() : -1;
  modified_ = info.exists() ? info.lastModified() : QDateTime();
  Watch();
}

void TJournalWatcher::Watch() {
  const QFileInfo info(path_);
  const QString folder = info.absolutePath();
  // A folder that is not there yet (the user's settings folder before the
  // first save) is waited for in the nearest folder above it that is; once
  // it is there, that one is let go.
  QString watched = folder;
  while (!QFileInfo(watched).isDir()) {
    const QString above = QFileInfo(watched).absolutePath();
    if (above == watched) break;
    watched = above;
  }
  for (const QString& other : watcher_.directories()) {
    if (other != watched) watcher_.removePath(other);
  }
  if (!watcher_.directories().contains(watched) && QFileInfo(watched).isDir()) {
    watcher_.addPath(watched);
  }
  // A file replaced by a rename is a new file, which the watch on the old
  // one never sees: it is added again whenever there is one.
  if (info.exists() && !watcher_.files().contains(path_)) watcher_.addPath(path_);
}

void TJournalWatcher::Noticed() {
  Watch();
  const QFileInfo info(path_);
  const qint64 size = info.exists() ? info.size() : -1;
  const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
  if (size != size_ || modified != modified_ || settle_.isActive()) settle_.start();
}

}  // namespace pw

// packetwright-cli: the jobs of the window program's settings file, from a
// scheduler or a script, without a window.
#include <CLI/CLI.hpp>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveIndex.h"
#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/BatchFiles.h"
#include "archiver/DateTimeFormat.h"
#include "archiver/Dialect.h"
#include "archiver/JobPool.h"
#include "archiver/Journal.h"
#include "archiver/JournalResult.h"
#include "archiver/NightPlan.h"
#include "archiver/NightSchedule.h"
#include "archiver/Password.h"
#include "archiver/Preview.h"
#include "archiver/Verify.h"
#include "archiver/Restore.h"
#include "archiver/Retention.h"
#include "cli/SettingsJson.h"
#include "cli/TerminalText.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Clock.h"
#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Notifier.h"
#include "platform/PasswordStore.h"
#include "platform/Process.h"
#include "platform/ProgramPath.h"
#include "platform/SafeFile.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "platform/SettingsLocation.h"
#include "platform/Streams.h"

namespace pw {

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr int kArchiverFailed = 3;

const char kExitStatuses[] =
    "Exit status:\n"
    "  0                           done\n"
    "  1                           a failure (unreadable settings or journal, a run with no directory marked, a journal that "
    "cannot be written, a directory that cannot be entered or read, whose archive clashes with "
    "another's or is being written by another run, an archiver that cannot be started, a new "
    "archive that failed the archiver's test, output that cannot be written, an archive that a "
    "prune cannot delete), each reported as one line on standard error; run, preview, verify "
    "and prune go on with the other directories or archives after one fails\n"
    "  1 (verify)                  an archive failed its test, or could not be tested or "
    "compared; a directory without an archive, or differences from what the job would take "
    "now, leave the status 0\n"
    "  1 (find)                    no copy matches, or an archive could not be listed\n"
    "  1 (restore)                 a file is already there and neither --overwrite, --keep-both "
    "nor --skip-existing is given (nothing is written), a path the archive does not hold, an "
    "archive that cannot be extracted or whose files are not as its listing says (nothing is "
    "put in place)\n"
    "  2                           a usage error, found before anything runs (such as a number "
    "that names no directory, or prune without keep rules)\n"
    "  3                           run --wait: no failure, but an archiver returned non-zero\n"
    "  128+N                       run --wait: ended by signal N (SIGTERM, SIGINT or SIGHUP), "
    "which went on to every archiver at work, and no further directory started\n";

// The commands as one list, each with its arguments on its line and, for
// --help-all, each option below it: a layout that reads well on a terminal
// and that help2man turns into the manual page's items.
class TCommandsFormatter final : public CLI::Formatter {
 public:
  std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
    std::ostringstream out;
    out << "\nCommands:\n";
    // A command without a group is not for people, and not shown.
    for (const CLI::App* command : app->get_subcommands({})) {
      if (!command->get_group().empty()) Command(out, *command, "", mode);
    }
    return out.str();
  }

 private:
  // One command's line, with its options for --help-all; a command of
  // commands (schedule) first, then each of its own as "schedule set ...".
  void Command(std::ostringstream& out, const CLI::App& command, const std::string& prefix,
               CLI::AppFormatMode mode) const {
    std::string synopsis = prefix + command.get_name();
    std::vector<const CLI::Option*> arguments;
    for (const CLI::Option* option : command.get_options()) {
      if (option == command.get_help_ptr() || option == command.get_help_all_ptr()) continue;
      arguments.push_back(option);
    }
    // The options before the positional arguments, as a synopsis writes them.
    std::stable_partition(arguments.begin(), arguments.end(),
                          [](const CLI::Option* option) { return option->nonpositional(); });
    for (const CLI::Option* option : arguments) {
      const bool many = option->get_items_expected_max() > 1;
      std::string name = option->get_name() + (many ? " ..." : "");
      // An option that takes a value shows it, as "--jobs N". (Its checks
      // are given no description, which the type name would carry.)
      const std::string type = option->get_type_name();
      if (option->nonpositional() && !type.empty()) name += " " + type;
      synopsis += option->get_required() ? " " + name : " [" + name + "]";
    }
    CLI::detail::format_help(out, synopsis, command.get_description(), get_column_width());
    if (mode == CLI::AppFormatMode::All) {
      for (const CLI::Option* option : arguments) {
        CLI::detail::format_help(out, "  " + option->get_name(), option->get_description(),
                                 get_column_width());
      }
    }
    for (const CLI::App* sub : command.get_subcommands({})) {
      Command(out, *sub, prefix + command.get_name() + " ", mode);
    }
  }
};

const char* const kCommands[] = {"schedule", "show",    "commands", "bat",       "run",
                                 "export",   "import",  "history",  "preview",   "verify",
                                 "prune",    "subfolder", "journal-end", "find", "restore", "password"};

// The first word that is neither an option nor the value of --settings, when
// it names no command; CLI11 would only say that a command is required.
const char* UnknownCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--settings") == 0) {
      ++i;
      continue;
    }
    if (argv[i][0] == '-') continue;
    for (const char* command : kCommands) {
      if (std::strcmp(argv[i], command) == 0) return nullptr;
    }
    return argv[i];
  }
  return nullptr;
}

// A command line that asks for what cannot be: reported as a usage error
// (status 2) before anything is done.
class EUsageError : public Exception {
 public:
  using Exception::Exception;
};

// A usage error's one line.
std::string UsageLine(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return "packetwright-cli: " + Printable(message) + " (see --help)\n";
}

int UsageError(const std::string& message) {
  std::cout.flush();
  std::cerr << UsageLine(message) << std::flush;
  return kUsageError;
}

// What was wrong with the command line, as one sentence naming the option or
// the word at fault, for a parser's error. A word that nothing takes comes
// first: the parser would otherwise say only what it then found missing.
std::string ParseErrorSentence(const CLI::App& app, const CLI::Error& e, bool inSchedule) {
  for (const std::string& word : app.remaining(true)) {
    if (word == "--") continue;
    if (word.size() > 1 && word[0] == '-') return "unknown option \"" + word + "\"";
    return "unexpected argument \"" + word + "\"";
  }
  const std::string what = e.what();
  const size_t colon = what.find(": ");
  const std::string name = colon == std::string::npos ? what : what.substr(0, colon);
  const auto endsWith = [&](const std::string& end) {
    return what.size() >= end.size() &&
           what.compare(what.size() - end.size(), end.size(), end) == 0;
  };
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
    if (endsWith(" missing")) return name + " needs a value";
    if (what.find(" required but received ") != std::string::npos) {
      return name + " is given more than once";
    }
  }
  if (dynamic_cast<const CLI::ConversionError*>(&e)) {
    // "Could not convert: INDEX = abc"
    const std::string rest = colon == std::string::npos ? what : what.substr(colon + 2);
    const size_t equals = rest.find(" = ");
    if (equals != std::string::npos) {
      return rest.substr(0, equals) + " expects a number, not \"" + rest.substr(equals + 3) + "\"";
    }
  }
  // The checks' own sentences name their option already.
  if (dynamic_cast<const CLI::ValidationError*>(&e) && colon != std::string::npos) {
    return what.substr(colon + 2);
  }
  if (dynamic_cast<const CLI::RequiredError*>(&e) && what.find("ubcommand") != std::string::npos) {
    return inSchedule ? "schedule needs set, show or remove" : "a command is required";
  }
  return what;
}

// That the settings file is there, as every command that reads it needs.
void CheckSettingsFile(const std::string& fileName) {
  if (FileExists(fileName)) return;
  if (Get<IFileSystem>().DirectoryExists(fileName)) {
    throw Exception("Settings file is a folder: " + fileName);
  }
  throw Exception("Settings file not found: " + fileName);
}

void Load(TbkManager& manager, const std::string& fileName) {
  CheckSettingsFile(fileName);
  manager.LoadFromFile(fileName);
}

// A file written whole or not at all, named when the writing fails part-way
// (a full disk, a size limit).
template <class Write>
void WriteNamed(const std::string& fileName, Write&& write) {
  try {
    write();
  } catch (const EWriteError& e) {
    throw EWriteError("Cannot write " + fileName + ": " + e.Message());
  }
}

void Save(TbkManager& manager, const std::string& fileName) {
  WriteNamed(fileName, [&] { manager.SaveToFile(fileName, true); });
}

// "-" for a file names standard output (or input), as for most programs.
bool IsStandardStream(const std::string& fileName) {
  return fileName == "-";
}

// The batch lines carry their own CR LF; the text mode of a Windows console
// would put a second CR before each LF.
void BinaryStandardOutput() {
  std::cout.flush();
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

std::string Indent(const std::string& text, const char* prefix) {
  const std::string end = ScriptLineEnd();
  std::string out;
  size_t start = 0;
  for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    out += prefix + Printable(text.substr(start, at - start)) + "\n";
  }
  if (start < text.size()) out += prefix + Printable(text.substr(start)) + "\n";
  return out;
}

void Show(const TbkManager& m, const std::string& fileName) {
  std::cout << "Settings file:      " << Printable(fileName) << "\n"
            << "Archiver:           " << Printable(m.ArchiverExeFileName()) << "\n"
            << "Parameters:         " << Printable(m.ArchiverParams()) << "\n"
            << "Exclude switch:     " << Printable(m.ExcludeKey()) << "\n"
            << "Output folder:      " << Printable(m.OutputPath()) << "\n"
            << "Subfolder pattern:  " << Printable(m.SubDirNamePattern()) << "\n"
            << "Schedule:           " << ScheduleWords(m.Schedule()) << "\n"
            << "Rules:              " << m.Rules()->Count() << "\n"
            << "Directories:        " << m.Directories()->Count() << "\n";
  if (m.Password().InUse()) {
    std::cout << "Password:           " << Printable(PasswordPlaceDescription(m.Password()))
              << (m.EncryptNames() ? ", names encrypted too" : "") << "\n";
  }
  const std::string warning = PasswordInSwitchesWarning(m.ArchiverParams());
  if (!warning.empty()) {
    std::cout << "Warning:            " << warning << " (packetwright-cli password set)\n";
  }
  const TNightPlan plan = MakeNightPlan(m);
  for (int i = 0; i < m.Directories()->Count(); ++i) {
    const TbkDirectory& d = *m.Directories()->Items(i);
    const TArchiveJob& job = plan.jobs[static_cast<size_t>(i)];
    std::cout << "\n[" << i + 1 << "] " << (d.NeedArchive() ? "[x] " : "[ ] ")
              << Printable(d.Path()) << "\n";
    if (d.RuleName().empty()) {
      std::cout << "    Rule: none (everything is archived)\n";
    } else if (!FindRule(d.RuleName(), m.Rules())) {
      std::cout << "    Rule: " << Printable(d.RuleName())
                << " (missing: everything is archived)\n";
    } else {
      std::cout << "    Rule: " << Printable(d.RuleName()) << "\n";
    }
    if (!job.error.empty()) std::cout << "    Not archived: " << Printable(job.error) << "\n";
    std::cout << "    Command:\n" << Indent(Dialect().CommandText(job), "      ");
  }
}

// Every index of the command line names a directory, or nothing is done.
void CheckIndexes(const TbkManager& m, const std::vector<int>& indexes) {
  for (const int index : indexes) {
    if (index < 1 || index > m.Directories()->Count()) {
      throw EUsageError(Format("No directory %d in the settings file", index));
    }
  }
}

const TbkDirectory& Directory(const TbkManager& m, int index) {
  CheckIndexes(m, {index});
  return *m.Directories()->Items(index - 1);
}

// The plan's jobs of the chosen directories, each once, or of the marked
// (every, with all) directories when none is chosen.
std::vector<TArchiveJob> ChosenJobs(const TNightPlan& plan, const std::vector<int>& indexes,
                                    bool all) {
  if (!indexes.empty()) return plan.Chosen(indexes);
  return all ? plan.jobs : plan.Marked();
}

// One line on standard error naming what failed; the run goes on.
void Report(const std::string& message) {
  std::cout.flush();
  std::cerr << "packetwright-cli: " << Printable(message) << std::endl;
}

// Appends one job's record; a journal that cannot be written is reported
// once and never stops the run, but fails it in the end.
class TJobJournal {
 public:
  explicit TJobJournal(std::string file) : file_(std::move(file)) {}

  void Add(const TJournalRecord& record) {
    try {
      AppendJournalRecord(file_, record);
    } catch (const Exception& e) {
      if (!reported_) Report(e.Message());
      reported_ = true;
    }
  }
  bool Failed() const { return reported_; }
  const std::string& File() const { return file_; }

 private:
  std::string file_;
  bool reported_ = false;
};

// What a run has come to so far: its lines on standard output and error, its
// journal, and its exit status.
class TRunReport {
 public:
  explicit TRunReport(const std::string& journalFile) : journal_(journalFile) {}

  // One job's line (or two) and record. The line of an archiver that ran
  // reads its record as the history does, but names the status of one that
  // succeeded; the error is the line on standard error.
  void Ended(int index, const TArchiveJob& job, const std::string& started,
             const TJobOutcome& outcome, bool awaited) {
    const TJournalRecord record = JobRecord(job, started, outcome, awaited);
    if (record.status) {
      const TJobResult result = JobResultOf(record);
      std::cout << "[" << index << "] " << Printable(job.directory) << ": "
                << (result == TJobResult::jrOk ? "exit status 0" : CompanionResultText(record))
                << (record.warning ? ": " + Printable(WarningOnOneLine(*record.warning)) : std::string())
                << std::endl;
      archiverFailed_ = archiverFailed_ || result == TJobResult::jrExitStatus ||
                        result == TJobResult::jrWarning;
    }
    if (record.error) {
      Report(job.directory + ": " + *record.error);
      failed_ = true;
    }
    ++jobs_;
    if (JobFailed(record) && failedJobs_++ == 0) firstFailed_ = job.directory;
    journal_.Add(record);
    // What the new archive holds, for find and restore; one that is not
    // indexed now is listed at the next find.
    if (awaited && !journal_.Failed()) {
      if (const std::string problem = IndexNewArchive(journal_.File(), job, record);
          !problem.empty()) {
        Report(problem);
      }
    }
  }

  // A record that the journal did not take fails the run as a directory
  // that failed does: a scheduler must see it.
  int Status() const {
    return failed_ || journal_.Failed() ? kFailed : archiverFailed_ ? kArchiverFailed : 0;
  }
  // A record of a job that never came to an end of its own.
  void Journal(const TJournalRecord& record) { journal_.Add(record); }
  int Jobs() const { return jobs_; }
  int FailedJobs() const { return failedJobs_; }
  const std::string& FirstFailed() const { return firstFailed_; }

 private:
  TJobJournal journal_;
  bool failed_ = false, archiverFailed_ = false;
  int jobs_ = 0, failedJobs_ = 0;
  std::string firstFailed_;
};

// Output that did not reach its file (a full disk, a closed descriptor, a
// pipe whose reader has gone) is a failure, not a silent success.
int OutputWritten() {
  std::cout.flush();
  if (std::cout) return 0;
  std::cerr << "packetwright-cli: Cannot write the output" << std::endl;
  return kFailed;
}

// A run's status once its lines are out: one that could not write them
// failed, unless a signal ended it.
int WithOutput(int status) {
  const int written = OutputWritten();
  return status > 128 || written == 0 ? status : written;
}

// Starts the jobs one after the other without waiting for them.
int StartAll(const std::vector<TArchiveJob>& jobs, const std::string& journalFile) {
  TRunReport report(journalFile);
  for (const TArchiveJob& job : jobs) {
    const std::string started = JournalTimeNow();
    TJobOutcome outcome;
    if (!job.error.empty()) {
      outcome.error = job.error;
    } else {
      try {
        StartJob(job, false);
      } catch (const Exception& e) {
        outcome.error = e.Message();
      }
    }
    report.Ended(job.position, job, started, outcome, false);
  }
  return report.Status();
}

// Runs the jobs through a pool of jobsAtOnce archivers and waits for each.
// Their lines come in the order the jobs end, each whole. SIGTERM, SIGINT or
// SIGHUP ends the run, and not only the companion: the signal goes on to
// every archiver at work, each is waited for and journaled as ended by it, no
// further directory starts (nor is journaled), and the status is 128 plus
// the signal's number.
int RunAndWaitAll(std::vector<TArchiveJob> jobs, int jobsAtOnce, TRunReport& report) {
  const TEndingSignalsPassedOn passedOn;
  const size_t count = jobs.size();
  TJobPool pool(std::move(jobs), jobsAtOnce);
  std::mutex mutex;  // the output, the journal and the report are one job's at a time
  bool endedBySignal = false;
  size_t notStarted = count;  // the first job that a signal kept from starting
  TPoolEvents events;
  events.ended = [&](size_t i, const std::string& started, TJobOutcome outcome) {
    const std::lock_guard lock(mutex);
    if (outcome.error == kNotStartedCancelled) {
      notStarted = std::min(notStarted, i);
      return;
    }
    if (const int signal = TEndingSignalsPassedOn::Received(); signal && outcome.stopped) {
      outcome.error = EndedBySignal(signal);
      endedBySignal = true;
    }
    report.Ended(pool.Jobs()[i].position, pool.Jobs()[i], started, outcome, true);
  };
  // What the archivers write goes on where it went when they wrote it
  // themselves, each line whole.
  events.output = [&](size_t, int stream, const std::string& line) {
    const std::lock_guard lock(mutex);
    if (stream == 2) {
      std::cout.flush();
      std::cerr << line << std::endl;
    } else {
      std::cout << line << '\n';
    }
  };
  try {
    pool.Run(events);
  } catch (const ENoThreadError& e) {
    // Nothing ran: one line, and a record of each job.
    Report(e.Message());
    const std::string started = JournalTimeNow();
    for (const TArchiveJob& job : pool.Jobs()) {
      TJobOutcome outcome;
      outcome.error = e.Message();
      report.Journal(JobRecord(job, started, outcome, true));
    }
    return kFailed;
  }
  if (const int signal = TEndingSignalsPassedOn::Received()) {
    // Unless the line of a job it ended said so already.
    if (!endedBySignal) {
      Report(EndedBySignal(signal) +
             (notStarted == count ? "" : " before " + pool.Jobs()[notStarted].directory));
    }
    return 128 + signal;
  }
  return report.Status();
}

enum class TNotify { always, failures, never };

struct TRunRequest {
  std::vector<int> indexes;
  bool wait = false;
  int jobsAtOnce = 1;
  // Only the marked directories that the schedule has not yet archived
  // since its latest start; with ifMissed only when nothing of the settings
  // file ran since then.
  bool due = false, ifMissed = false;
  TNotify notify = TNotify::failures;
};

// A word on the desktop after a waited run, as notify asks: after failures
// and after nights that were missed, or always.
void NotifyAfterRun(const TRunReport& report, int missed, TNotify notify) {
  if (notify == TNotify::never) return;
  const bool failed = report.FailedJobs() > 0;
  if (!failed && missed == 0 && notify != TNotify::always) return;
  std::string summary, body;
  if (failed) {
    summary = "Packetwright: " + std::to_string(report.FailedJobs()) + " of " +
              std::to_string(report.Jobs()) +
              (report.Jobs() == 1 ? " directory failed" : " directories failed");
    body = "The first: " + report.FirstFailed() + ". packetwright-cli history --failed says why.";
  } else {
    summary = "Packetwright: " + std::to_string(report.Jobs()) +
              (report.Jobs() == 1 ? " directory archived" : " directories archived");
  }
  if (missed > 0) {
    if (!failed) summary = "Packetwright: scheduled nights were missed";
    if (!body.empty()) body += " ";
    body += (missed == 1 ? std::string("1 scheduled night was missed")
                         : std::to_string(missed) + " scheduled nights were missed") +
            "; made up now.";
  }
  // No session bus, no one to tell: the run is not affected.
  Get<INotifier>().Notify(summary, body,
                          failed ? TNotificationUrgency::Critical : TNotificationUrgency::Normal);
}

// The marked directories the schedule is due to archive, each said of that
// is left alone; none, with a line saying why, when no night is due.
std::vector<TArchiveJob> DueJobs(const TNightPlan& plan, const TNightsReport& nights) {
  std::vector<TArchiveJob> due;
  std::vector<TArchiveJob> marked = plan.Marked();
  for (TArchiveJob& job : marked) {
    const auto at = std::find_if(nights.directories.begin(), nights.directories.end(),
                                 [&](const TDirectoryNights& d) { return d.position == job.position; });
    if (at == nights.directories.end() || Due(*at, nights.latestStart)) {
      due.push_back(std::move(job));
    } else {
      std::cout << "[" << job.position << "] " << Printable(job.directory)
                << ": left alone, archived since the scheduled start of "
                << LocalTimeText(*nights.latestStart) << "\n";
    }
  }
  return due;
}

// ---- The prune ---------------------------------------------------------------

// A prune without rules would delete nothing; it is refused before anything
// is read.
void CheckKeepRules(const TbkManager& m) {
  if (!m.Keep().KeepsAll()) return;
  throw EUsageError(
      "prune: no keep rules are set, so a prune would delete nothing; set them in the window's "
      "Options (Keep), or in the settings' JSON, \"Keep\": {\"Last\": N, \"Daily\": D, "
      "\"Weekly\": W, \"Monthly\": M} (export, edit, import)");
}

// Lines of text, each made printable.
void PrintLines(const std::string& text) {
  size_t start = 0;
  for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
    std::cout << Printable(std::string_view(text).substr(start, at - start)) << '\n';
  }
  std::cout.flush();
}

// Prints what the prune did, and each archive it could not delete on
// standard error; 1 when there was one, or when the journal stopped it.
int ReportPrune(const TPrunePlan& plan) {
  PrintLines(PruneText(plan, true));
  bool failed = !plan.stopped.empty();
  for (const TPruneRun& run : plan.runs) {
    for (const TPruneArchive& archive : run.archives) {
      if (archive.error.empty()) continue;
      Report("Cannot delete " + archive.archive + ": " + archive.error);
      failed = true;
    }
  }
  if (!plan.stopped.empty()) Report("The prune stopped: " + plan.stopped);
  return failed ? kFailed : 0;
}

int Prune(const TbkManager& m, const std::string& journalFile, bool dryRun) {
  if (dryRun) {
    PrintLines(PrunePreviewText(m, m.Keep(), journalFile));
    return OutputWritten();
  }
  return WithOutput(ReportPrune(PruneArchives(m, m.Keep(), journalFile)));
}

// Runs the chosen directories (or the marked ones), each once however often
// it is named. A directory that fails is reported and the others run; the
// status is 1 when any failed, 3 when only archivers returned non-zero.
// Every job goes into the journal.
int Run(const TbkManager& m, const TRunRequest& request, const std::string& journalFile) {
  // Every index is checked before any run.
  const TNightPlan plan = MakeNightPlan(m);
  std::vector<TArchiveJob> jobs = ChosenJobs(plan, request.indexes, false);
  // A run of nothing is a settings file that archives nothing: a nightly run
  // that says so fails, rather than passing unnoticed every night.
  if (jobs.empty()) throw Exception("No directory is marked for archiving");
  if (!request.wait) return WithOutput(StartAll(jobs, journalFile));
  int missed = 0;
  std::unique_ptr<IFileLock> dueLock;
  if (request.due) {
    if (!m.Schedule().Set()) {
      throw Exception("No schedule is set: --due runs what the schedule has not yet run (see "
                      "schedule set)");
    }
    // Two catch-ups at once, from a timer and from a quarter-hour line,
    // would take the same directories twice.
    // (A folder where the lock cannot be made cannot keep the journal
    // either; the run goes on without both.)
    try {
      dueLock = Get<IFileSystem>().TryLock(journalFile + ".due.lock");
      if (!dueLock) {
        std::cout << "A scheduled run of these settings is at work: nothing to do" << std::endl;
        return 0;
      }
    } catch (const Exception&) {
    }
    const TNightsReport nights = ReportNights(m, journalFile, LocalTimeOf(Get<IClock>().Now()));
    if (!nights.latestStart || (request.ifMissed && RunSince(nights))) return 0;
    missed = nights.missed;
    jobs = DueJobs(plan, nights);
  }
  TRunReport report(journalFile);
  int status = RunAndWaitAll(std::move(jobs), request.jobsAtOnce, report);
  NotifyAfterRun(report, missed, request.notify);
  // Only after a run in which every job went well: a failed night keeps
  // every archive there is.
  if (status == 0 && report.Jobs() > 0 && !m.Keep().KeepsAll()) {
    std::cout << "Prune (" << KeepRulesText(m.Keep()) << "):\n";
    status = ReportPrune(PruneArchives(m, m.Keep(), journalFile));
  }
  return WithOutput(status);
}

// The end of a job started without waiting: its record as it was journalled
// at the start, ended now with the archiver's status, and the archive's size
// where the archiver left one.
int JournalEnd(const std::string& journal, const std::string& line, int status) {
  std::optional<TJournalRecord> record = JournalRecordOfLine(line);
  if (!record) throw EUsageError("journal-end: the record is no journal record");
  record->ended = JournalTimeNow();
  record->status = status;
  if (status <= 1) record->bytes = FileSize(record->archive);
  AppendJournalRecord(journal, *record);
  return 0;
}

// One journal record as a line of text: when, which directory, and what became of it.
std::string HistoryLine(const TJournalRecord& r) {
  std::string line = Printable(r.started) + "  [" + std::to_string(r.position) + "] " +
                     Printable(r.directory) + "  ";
  line += CompanionResultText(r);
  // The error says what became of the archive.
  if (r.error) return line + ": " + Printable(*r.error);
  line += "  " + Printable(r.archive);
  if (r.bytes) line += "  " + std::to_string(*r.bytes) + " bytes";
  if (r.warning) line += ": " + Printable(WarningOnOneLine(*r.warning));
  return line;
}

// Without indexes the latest record of each directory, in the order those
// records were written, so that the most recent job is at the bottom; with
// indexes every record of those directories, matched by their path as the
// settings file holds it now.
int History(const std::string& settings, const std::vector<int>& indexes, bool json,
            bool failedOnly) {
  std::set<std::string> chosen;
  CheckSettingsFile(settings);
  if (!indexes.empty()) {
    TbkManager manager;
    Load(manager, settings);
    CheckIndexes(manager, indexes);
    for (const int index : indexes) {
      chosen.insert(AsReadFromJournal(Directory(manager, index).Path()));
    }
  }
  struct TEntry {
    size_t order = 0;  // in the journal
    TJournalRecord record;
    std::string line;
  };
  std::vector<TEntry> entries;
  std::unordered_map<std::string, size_t> latest;  // a directory's entry, without indexes
  size_t order = 0;
  const auto keep = [&](TJournalRecord& record, std::string_view line) {
    ++order;
    if (!indexes.empty()) {
      if (chosen.count(record.directory)) {
        entries.push_back({order, std::move(record), std::string(line)});
      }
      return;
    }
    if (!record.IsJob()) return;  // the latest job's record, not a prune's
    const auto [at, added] = latest.try_emplace(record.directory, entries.size());
    if (added) entries.emplace_back();
    entries[at->second] = {order, std::move(record), std::string(line)};
  };
  const size_t tooLong = ForEachJournalRecord(JournalFileName(settings), keep);
  std::sort(entries.begin(), entries.end(),
            [](const TEntry& a, const TEntry& b) { return a.order < b.order; });
  if (json) BinaryStandardOutput();
  bool anyFailed = false;
  for (const TEntry& e : entries) {
    if (failedOnly && !JobFailed(e.record)) continue;
    anyFailed = true;
    std::cout << (json ? e.line : HistoryLine(e.record)) << '\n';
  }
  if (!std::cout.flush()) throw EWriteError("Cannot write to standard output");
  // After the records, where it is seen; the records printed are all the
  // others, and the status is theirs.
  if (tooLong > 0) std::cerr << "packetwright-cli: " << TooLongRecordsNote(tooLong) << std::endl;
  return failedOnly && anyFailed ? kFailed : 0;
}

void PrintPreview(const TbkManager& m, int index, const TPreview& p) {
  const TbkDirectory& d = *m.Directories()->Items(index - 1);
  std::cout << "[" << index << "] " << Printable(p.directory) << "\n";
  if (d.RuleName().empty()) {
    std::cout << "    Rule: none (everything is archived)\n";
  } else if (!FindRule(d.RuleName(), m.Rules())) {
    std::cout << "    Rule: " << Printable(d.RuleName()) << " (missing: everything is archived)\n";
  } else if (p.masks.empty()) {
    std::cout << "    Rule: " << Printable(d.RuleName())
              << " (no active mask: everything is archived)\n";
  } else {
    std::cout << "    Rule: " << Printable(d.RuleName())
              << (p.excluding ? " (leaves out what its masks match)\n"
                              : " (takes only what its masks match)\n");
  }
  if (p.approximate) {
    std::cout << "    Approximate: the archiver's own matching is not known; 7-Zip's is used\n";
  }
  std::cout << "    Takes: " << Plural(p.totalFiles, "file", "files") << ", " << BytesAndSizeText(p.totalBytes)
            << "\n";
  size_t width = 0;
  for (const TPreviewMask& mask : p.masks) width = std::max(width, Printable(mask.mask).size());
  for (const TPreviewMask& mask : p.masks) {
    const std::string shown = Printable(mask.mask);
    std::cout << "      " << shown << std::string(width - shown.size(), ' ') << "  "
              << (p.excluding ? "leaves out " : "") << Plural(mask.files, "file", "files") << ", "
              << BytesAndSizeText(mask.bytes) << "\n";
  }
  for (const std::string& warning : p.warnings) {
    std::cout << "    Warning: " << Printable(warning) << "\n";
  }
}

// What each chosen directory's job would take (every directory when none is
// chosen); a directory whose job cannot run, or that cannot be read, is
// reported and the others are still previewed.
int PreviewDirectories(const TbkManager& m, const std::vector<int>& indexes, bool filesOnly) {
  const std::vector<TArchiveJob> jobs = ChosenJobs(MakeNightPlan(m), indexes, true);
  if (filesOnly) BinaryStandardOutput();
  bool failed = false, first = true;
  for (const TArchiveJob& job : jobs) {
    const TPreview p = Preview(MakePreviewRequest(m, job));
    if (!p.error.empty()) {
      Report(job.directory + ": " + p.error);
      failed = true;
      continue;
    }
    if (filesOnly) {
      // The names as stored, for other programs to read; nothing else.
      for (const TPreviewFile& file : p.files) std::cout << file.path << '\n';
      continue;
    }
    if (!first) std::cout << "\n";
    first = false;
    PrintPreview(m, job.position, p);
  }
  return WithOutput(failed ? kFailed : 0);
}

// Tests the latest archive of each chosen directory (every directory when
// none is chosen) and compares what it holds with a preview of its job now.
// A directory without an archive is said so; an archive that fails its
// test, or cannot be tested or compared, fails the command.
int VerifyDirectories(const TbkManager& m, const std::vector<int>& indexes,
                      const std::string& journalFile) {
  std::vector<int> positions = indexes;
  if (positions.empty()) {
    for (int i = 1; i <= m.Directories()->Count(); ++i) positions.push_back(i);
  }
  const std::map<std::string, TLatestArchive> latest = LatestArchives(journalFile);
  std::set<int> done;
  bool failed = false, first = true;
  for (const int position : positions) {
    if (!done.insert(position).second) continue;
    const auto found = latest.find(AsReadFromJournal(Directory(m, position).Path()));
    const TVerifyReport report =
        VerifyArchive(m, position, found == latest.end() ? TLatestArchive{} : found->second);
    if (!first) std::cout << "\n";
    first = false;
    for (const std::string& line : SplitAt(VerifyReportText(report), "\n")) {
      std::cout << Printable(line) << "\n";
    }
    if (report.Failed()) {
      Report(report.directory + ": " + report.error);
      failed = true;
    }
  }
  return WithOutput(failed ? kFailed : 0);
}

// ---- The schedule ------------------------------------------------------------

void ShowSchedule(const TbkManager& m, const std::string& settings) {
  for (const TScheduleFact& fact :
       ScheduleFacts(m, settings, LocalTimeOf(Get<IClock>().Now()))) {
    std::cout << fact.label << ":" << std::string(15 - fact.label.size(), ' ')
              << Printable(fact.value) << "\n";
  }
}

void SetSchedule(const std::string& settings, const std::string& at, const std::string& days) {
  // Both were checked as the command line was read.
  TSchedule schedule;
  schedule.minuteOfDay = ParseScheduleTime(at).value();
  if (!days.empty()) schedule.days = ParseScheduleDays(days).value();
  TbkManager manager;
  Load(manager, settings);
  // The scheduler first: a settings file that names a schedule nothing keeps
  // would say what is not so.
  const TScheduleEntry entry = Get<IScheduler>().Install(NightlyRunCommand(schedule, settings));
  manager.SetSchedule(schedule);
  Save(manager, settings);
  std::cout << "Scheduled " << ScheduleWords(schedule) << " in the " << entry.scheduler << "\n\n";
  ShowSchedule(manager, settings);
}

void RemoveSchedule(const std::string& settings) {
  TbkManager manager;
  Load(manager, settings);
  const std::optional<TScheduleEntry> entry = Get<IScheduler>().Remove(ScheduleEntryName(settings));
  if (manager.Schedule().Set()) {
    manager.SetSchedule(TSchedule{});
    Save(manager, settings);
  }
  std::cout << (entry ? "Removed the nightly run from the " + entry->scheduler
                      : std::string("No scheduler held a nightly run of these settings"))
            << "\n";
}

// The password typed at the terminal without echo, twice; or the first line
// of standard input where that is no terminal.
std::string ReadNewPassword() {
  if (!StandardInputIsTerminal()) {
    std::string line;
    if (!std::getline(std::cin, line)) throw Exception("No password on standard input");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  const std::string first = ReadHiddenLine("Archive password: ");
  const std::string again = ReadHiddenLine("Again: ");
  if (first != again) throw Exception("The two passwords differ; nothing was changed");
  return first;
}

// Keeps a password for the settings file's archives: the one its archiver
// switches hold (taken out of them), else a new one.
void SetPassword(const std::string& settings, const std::string& file, bool encryptNames) {
  TbkManager manager;
  Load(manager, settings);
  std::optional<std::string> password = TakePasswordOutOfSwitches(manager);
  const bool takenOver = password.has_value();
  if (!password) password = ReadNewPassword();
  const std::string problem = PasswordProblem(*password);
  if (!problem.empty()) throw Exception(problem + "; nothing was changed");
  TPasswordPlace place;
  if (file.empty()) {
    Get<IPasswordStore>().WriteKeyring(*password);
    place.keptIn = TPasswordKeeping::pkKeyring;
  } else {
    place.keptIn = TPasswordKeeping::pkFile;
    place.file = Dialect().Resolved(file, Get<ICurrentDirectory>().Get());
    Get<IPasswordStore>().WriteFile(place.file, *password);
  }
  // The keyring's old entry goes once nothing names it.
  if (manager.Password().keptIn == TPasswordKeeping::pkKeyring && !file.empty()) {
    Get<IPasswordStore>().ClearKeyring();
  }
  manager.SetPassword(place);
  if (encryptNames) manager.SetEncryptNames(true);
  Save(manager, settings);
  std::cout << (takenOver ? "Moved the password out of the archiver switches into "
                          : "The archive password is kept in ")
            << Printable(PasswordPlaceDescription(place)) << "\n";
  if (ArchiverFamily(manager.ArchiverExeFileName()) != TArchiverFamily::af7Zip) {
    std::cout << "Only 7-Zip's archives are encrypted with it: the archiver now is "
              << Printable(manager.ArchiverExeFileName()) << "\n";
  }
}

void ClearPassword(const std::string& settings) {
  TbkManager manager;
  Load(manager, settings);
  const TPasswordPlace place = manager.Password();
  if (place.keptIn == TPasswordKeeping::pkKeyring) Get<IPasswordStore>().ClearKeyring();
  manager.SetPassword({});
  manager.SetEncryptNames(false);
  Save(manager, settings);
  if (place.keptIn == TPasswordKeeping::pkFile) {
    std::cout << "The archives are no longer encrypted; the password file "
              << Printable(place.file) << " is left as it is\n";
  } else {
    std::cout << "The archives are no longer encrypted\n";
  }
}

int ShowPasswordPlace(const TbkManager& manager) {
  const TPasswordPlace& place = manager.Password();
  std::cout << Printable(place.InUse() ? PasswordPlaceDescription(place) : "none") << "\n";
  const std::string warning = PasswordInSwitchesWarning(manager.ArchiverParams());
  if (!warning.empty()) std::cout << "Warning: " << warning << "\n";
  // A file that a run would refuse fails here too, saying why.
  if (place.keptIn == TPasswordKeeping::pkFile) Get<IPasswordStore>().ReadFile(place.file);
  return OutputWritten();
}

// Reads the JSON on standard input into a settings file, or with "-" onto
// standard output.
int Import(const std::string& output) {
  TbkManager manager;
  ParseSettingsJson(std::cin, manager);
  if (!IsStandardStream(output)) {
    Save(manager, output);
    return 0;
  }
  TMemoryStream file;
  manager.SaveToStream(file, true);
  BinaryStandardOutput();
  std::cout.write(file.Bytes().data(), static_cast<std::streamsize>(file.Bytes().size()));
  return OutputWritten();
}

// The settings as JSON, on standard output or into a file.
int Export(const TbkManager& manager, const std::string& output) {
  if (IsStandardStream(output)) {
    try {
      WriteDocumentJson(manager, std::cout);
    } catch (const EWriteError&) {
      // Said as for every other output below.
    }
    return OutputWritten();
  }
  std::ostringstream json;
  WriteDocumentJson(manager, json);
  const std::string text = json.str();
  WriteNamed(output, [&] {
    TSafeFileWriter file(output);
    file.Stream().WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    file.Commit();
  });
  return 0;
}

// The one line that every failure ends in.
int Failed(const std::string& message) {
  std::cout.flush();
  std::cerr << "packetwright-cli: " << Printable(message) << std::endl;
  return kFailed;
}

// ---- Finding and restoring -------------------------------------------------

// The index brought in line with the journal; each archive that could not
// be listed is one line on standard error, and fails the command.
TArchiveIndex RefreshedIndex(const TbkManager& m, const std::string& journalFile, bool& failed) {
  TArchiveIndex index(journalFile);
  const TExtractor extractor = ExtractorOf(m);
  const TIndexRefresh refresh = index.Refresh(
      [&extractor](const TIndexedArchive& a, std::string& error) {
        return ListArchive(extractor, a.archive, {}, error);
      });
  for (const std::string& problem : refresh.problems) {
    Report(problem);
    failed = true;
  }
  return index;
}

int FindCopies(const TbkManager& m, const std::string& pattern, int dir, bool json,
               const std::string& journalFile) {
  const std::string directory = dir ? AsReadFromJournal(Directory(m, dir).Path()) : "";
  bool failed = false;
  TArchiveIndex index = RefreshedIndex(m, journalFile, failed);
  std::vector<std::string> damaged;
  const std::vector<TFoundCopy> copies = index.Find(pattern, directory, &damaged);
  for (const std::string& archive : damaged) {
    Report("The index's listing of " + archive + " is damaged; it is listed again at the next find");
    failed = true;
  }
  if (json) BinaryStandardOutput();
  for (const TFoundCopy& c : copies) {
    if (json) {
      nlohmann::json line = {{"night", c.archive.Night()},
                             {"directory", c.archive.directory},
                             {"position", c.archive.position},
                             {"archive", c.archive.archive},
                             {"path", c.entry.path},
                             {"bytes", c.entry.bytes},
                             {"modified", c.entry.modified}};
      std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
      std::cout << c.archive.Night() << "  [" << c.archive.position << "] "
                << Printable(c.archive.directory) << "  " << Printable(c.entry.path) << "  "
                << c.entry.bytes << " bytes  " << Printable(c.entry.modified) << "  "
                << Printable(c.archive.archive) << '\n';
    }
  }
  if (copies.empty()) {
    Report("No archive that is still there holds a file that matches " + pattern);
    failed = true;
  }
  return WithOutput(failed ? kFailed : 0);
}

struct TRestoreCommand {
  std::string archive, night;
  int dir = 0;
  bool latest = false;
  std::vector<std::string> paths;
  std::string to;
  bool toOriginal = false;
  bool overwrite = false, keepBoth = false, skipExisting = false, dryRun = false;
};

// The directory's own folder, as its job enters it now.
std::string OriginalFolder(const TbkManager& m, const TIndexedArchive& a) {
  if (a.directory.empty()) {
    throw EUsageError("restore --to-original: the journal names no directory of " + a.archive +
                      "; give --to");
  }
  for (const TArchiveJob& job : MakeNightPlan(m).jobs) {
    if (AsReadFromJournal(job.directory) == a.directory) return job.workingDirectory;
  }
  return Dialect().ExpandHome(a.directory);
}

int RestoreFiles(const TbkManager& m, const TRestoreCommand& c, const std::string& journalFile) {
  if (c.archive.empty() + c.night.empty() + !c.latest != 2) {
    throw EUsageError("restore needs one of --archive, --night (with --dir) and --latest");
  }
  if (!c.night.empty() && !c.dir) throw EUsageError("restore --night needs --dir");
  if (!c.night.empty() && !JournalSeconds(c.night + "T00:00:00Z")) {
    throw EUsageError("restore --night expects a date such as 2026-12-08, not \"" + c.night + "\"");
  }
  if (c.to.empty() == !c.toOriginal) throw EUsageError("restore needs one of --to and --to-original");
  if (c.overwrite + c.keepBoth + c.skipExisting > 1) {
    throw EUsageError("restore takes one of --overwrite, --keep-both and --skip-existing");
  }
  std::vector<std::string> paths;
  for (const std::string& path : c.paths) {
    const std::string inside = InsideArchivePath(path);
    if (inside.empty()) {
      throw EUsageError("restore: \"" + path +
                        "\" is no path inside the archive (relative, without \"..\")");
    }
    paths.push_back(inside);
  }
  const std::string directory = c.dir ? AsReadFromJournal(Directory(m, c.dir).Path()) : "";
  const TExtractor extractor = ExtractorOf(m);
  bool failed = false;
  TArchiveIndex index = RefreshedIndex(m, journalFile, failed);
  const std::vector<TIndexedArchive> archives = index.Archives();
  const auto listingOf = [&](const TIndexedArchive& a) {
    if (std::optional<std::vector<TListedEntry>> listing = index.Listing(a)) return *listing;
    std::string error;
    std::optional<std::vector<TListedEntry>> listing = ListArchive(extractor, a.archive, {}, error);
    if (!listing) throw Exception(a.archive + ": " + error);
    return *listing;
  };
  std::vector<TRestoreSource> sources;
  const auto targetOf = [&](const TIndexedArchive& a) {
    return c.toOriginal ? OriginalFolder(m, a)
                        : Dialect().Resolved(c.to, Get<ICurrentDirectory>().Get());
  };
  if (c.latest) {
    std::map<std::string, size_t> sourceOf;  // by archive
    for (const std::string& path : paths) {
      std::optional<TArchiveIndex::TNewest> newest = index.Newest(UnderPath(path), directory);
      if (!newest) return Failed("No archive that is still there holds " + path);
      const auto [at, added] = sourceOf.try_emplace(newest->archive.archive, sources.size());
      if (added) sources.push_back({newest->archive, {}, {}, targetOf(newest->archive)});
      TRestoreSource& source = sources[at->second];
      source.entries.insert(source.entries.end(), newest->entries.begin(), newest->entries.end());
      source.paths.push_back(path);
    }
  } else {
    std::optional<TIndexedArchive> chosen;
    if (!c.archive.empty()) {
      const std::string file = Dialect().Resolved(c.archive, Get<ICurrentDirectory>().Get());
      for (const TIndexedArchive& a : archives) {
        if (Dialect().CompareKey(a.archive) == Dialect().CompareKey(file)) chosen = a;
      }
      // An archive the journal does not know is still read, into a folder.
      if (!chosen && FileExists(file)) chosen = TIndexedArchive{file, "", 0, "", *FileSize(file)};
      if (!chosen) return Failed("No such archive: " + file);
    } else {
      for (const TIndexedArchive& a : archives) {
        if (a.directory == directory && a.Night() == c.night) {
          chosen = a;
          break;
        }
      }
      if (!chosen) {
        return Failed("No archive of " + Directory(m, c.dir).Path() + " from the night of " +
                      c.night + " is still there");
      }
    }
    const std::vector<TListedEntry> listing = listingOf(*chosen);
    TRestoreSource source{*chosen, {}, paths, targetOf(*chosen)};
    for (const std::string& path : paths) {
      std::vector<TListedEntry> entries = EntriesUnder(listing, path);
      if (entries.empty()) return Failed(chosen->archive + " holds no " + path);
      source.entries.insert(source.entries.end(), entries.begin(), entries.end());
    }
    sources.push_back(std::move(source));
  }
  const TExisting existing = c.overwrite      ? TExisting::exOverwrite
                             : c.keepBoth     ? TExisting::exKeepBoth
                             : c.skipExisting ? TExisting::exSkip
                                              : TExisting::exAsk;
  const TRestorePlan plan = PlanRestore(std::move(sources), existing);
  for (const std::string& line : SplitAt(RestorePlanText(plan), "\n")) {
    std::cout << Printable(line) << "\n";
  }
  if (c.dryRun) {
    return WithOutput(failed ? kFailed : 0);
  }
  if (plan.Conflicts() > 0 && existing == TExisting::exAsk) {
    return Failed(Plural(plan.Conflicts(), "file is", "files are") +
                  " already there; nothing was restored: give --overwrite, --keep-both or "
                  "--skip-existing");
  }
  const TRestoreResult result = ExecuteRestore(plan, extractor);
  if (!result.error.empty()) return Failed(result.error);
  std::cout << "Restored " << Plural(result.restored, "file", "files")
            << (result.skipped ? ", left " + Plural(result.skipped, "file", "files") + " as they were" : "")
            << "\n";
  for (const TRestoreItem& item : plan.items) {
    if (item.state == TRestoreState::rsRefused) {
      Report("Not restored, since its path leaves the folder: " + item.entry.path);
      failed = true;
    }
  }
  return WithOutput(failed ? kFailed : 0);
}

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app{
      "Runs and inspects the archive jobs of a Packetwright settings file without the window.\n"
      "Directories are numbered from 1 as `show` lists them."};
  app.require_subcommand(1);
  app.formatter(std::make_shared<TCommandsFormatter>());
  app.footer(kExitStatuses);
  app.set_help_all_flag("--help-all", "print this help with every command's options and exit");
  app.set_version_flag("--version", "packetwright-cli " PW_VERSION);
  CLI::App* schedule = nullptr;
  app.failure_message([&schedule](const CLI::App* at, const CLI::Error& e) {
    return UsageLine(ParseErrorSentence(*at, e, schedule && schedule->parsed()));
  });
  std::string settings = SettingsFileName();
  app.add_option("--settings", settings,
                 "the settings file (default: Packetwright.dat beside the program when it is "
                 "there, else in the user's settings folder, $XDG_CONFIG_HOME/Packetwright or "
                 "~/.config/Packetwright, on Windows %APPDATA%\\Packetwright; `show` names it)");

  schedule = app.add_subcommand(
      "schedule",
      "set, show or remove the nightly run of the settings file: a systemd user timer, or a "
      "line of the user's crontab where no user manager runs (on Windows a task of the Task "
      "Scheduler); it runs `run --wait --due`, which makes up a night the computer was off");
  schedule->require_subcommand(1);
  CLI::App* scheduleSet =
      schedule->add_subcommand("set", "run the marked directories every night at a time");
  std::string scheduleAt, scheduleDays;
  scheduleSet->add_option("--at", scheduleAt, "the time of day, HH:MM")
      ->type_name("HH:MM")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& at) -> std::string {
            return ParseScheduleTime(at) ? "" : "--at expects a time from 00:00 to 23:59";
          },
          ""));
  scheduleSet->add_option("--days", scheduleDays, "only on these days (default: every day)")
      ->type_name("mon,tue,...")
      ->check(CLI::Validator(
          [](const std::string& days) -> std::string {
            return ParseScheduleDays(days) ? ""
                                           : "--days expects mon, tue, wed, thu, fri, sat or "
                                             "sun, each once, separated by commas";
          },
          ""));
  CLI::App* scheduleShow = schedule->add_subcommand(
      "show",
      "say which scheduler holds the nightly run, when it runs next, how the last run went "
      "and how many scheduled nights were missed");
  CLI::App* scheduleRemove = schedule->add_subcommand("remove", "remove the nightly run");
  (void)scheduleShow;

  CLI::App* password = app.add_subcommand(
      "password",
      "keep, clear or name the password that encrypts 7-Zip's archives (with -p and, for "
      "encrypted names, -mhe=on), which 7-Zip reads on its standard input and which no settings "
      "file, script, argument or journal holds");
  password->require_subcommand(1);
  CLI::App* passwordSet = password->add_subcommand(
      "set",
      "keep a password in the keyring (the Secret Service; on Windows the Credential Manager), "
      "or with --file in a password file: typed twice without echo at a terminal, else the "
      "first line of standard input; a password the archiver switches hold (-p...) is taken "
      "over instead, and taken out of them");
  std::string passwordFile;
  passwordSet->add_option("--file", passwordFile,
                          "keep it in this file instead, made for its owner alone (mode 600); "
                          "what a scheduled run that cannot reach the keyring needs, and what "
                          "scripts read")
      ->type_name("PATH");
  bool encryptNames = false;
  passwordSet->add_flag("--encrypt-names", encryptNames,
                        "encrypt the names of the archived files too (-mhe=on)");
  CLI::App* passwordClear = password->add_subcommand(
      "clear", "archive without a password again; the keyring's entry goes, a file stays");
  CLI::App* passwordWhere = password->add_subcommand(
      "where",
      "print where the password is kept (the keyring, the password file, or none), and fail "
      "when the password file is one a run would refuse");
  (void)passwordWhere;

  CLI::App* show = app.add_subcommand("show",
                                      "print the options and every directory with its "
                                      "rule and command text");
  CLI::App* commands = app.add_subcommand(
      "commands",
      "print the script lines of every marked directory, as the script file holds them");
  bool all = false;
  commands->add_flag("--all", all, "every directory, marked or not");
  CLI::App* bat = app.add_subcommand(
      "bat",
      "write the script for all marked directories (a batch file on Windows, a shell "
      "script elsewhere)");
  std::string batFile;
  bat->add_option("OUT", batFile, "the script file to write, - for standard output")->required();
  CLI::App* run = app.add_subcommand(
      "run",
      "run the marked directories, or the given ones, now; every directory goes into the "
      "dated subfolder named for the moment the run began");
  std::vector<int> indexes;
  bool wait = false;
  CLI::Option* runIndexes =
      run->add_option("INDEX", indexes, "directories to run, whether marked or not");
  CLI::Option* waitFlag =
      run->add_flag("--wait", wait,
                    "wait for the archivers, at most --jobs at once, started in order, and print "
                    "each one's exit status as it ends; each new 7-Zip archive is tested by 7-Zip "
                    "(7zz t) before its job counts as done, unless the test is turned off (the "
                    "window's Options, or TestArchives in the JSON), and one that fails its test "
                    "fails its directory; exits with 3 when "
                    "any archiver returned non-zero; after a run in which every directory "
                    "succeeded, prunes by the keep rules (see prune)");
  int jobsAtOnce = DefaultJobsAtOnce();
  const std::string jobsHelp =
      "with --wait: how many archivers run at once, 1 to " + std::to_string(kMostJobsAtOnce) +
      " (default: the number of processor cores); 1 runs one directory after the other";
  run->add_option("--jobs", jobsAtOnce, jobsHelp)
      ->type_name("N")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            int n = 0;
            if (CLI::detail::lexical_cast(text, n) && n >= 1 && n <= kMostJobsAtOnce) return "";
            return "--jobs expects a number from 1 to " + std::to_string(kMostJobsAtOnce) +
                   ", not \"" + text + "\"";
          },
          ""))
      ->needs(waitFlag);
  bool due = false, ifMissed = false;
  CLI::Option* dueFlag = run->add_flag(
      "--due", due,
      "with --wait and without INDEX: only the marked directories that have not been archived "
      "since the schedule's latest start; the others are left alone and say so");
  run->add_flag("--if-missed", ifMissed,
                "with --due: only when nothing of the settings file ran since the schedule's "
                "latest start (a night the computer was off or asleep)")
      ->needs(dueFlag);
  dueFlag->needs(waitFlag)->excludes(runIndexes);
  TNotify notify = TNotify::failures;
  const std::map<std::string, TNotify> notifyNames = {
      {"always", TNotify::always}, {"failures", TNotify::failures}, {"never", TNotify::never}};
  run->add_option("--notify", notify,
                  "with --wait: a desktop notification after the run: always, failures (the "
                  "default: a failed or refused directory, or missed nights) or never")
      ->type_name("WHEN")
      ->transform(CLI::Validator(
          [&notifyNames](std::string& text) -> std::string {
            std::string lower = text;
            for (char& c : lower)
              c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const auto found = notifyNames.find(lower);
            if (found == notifyNames.end()) {
              return "--notify expects always, failures or never, not \"" + text + "\"";
            }
            text = std::to_string(static_cast<int>(found->second));
            return "";
          },
          ""))
      ->needs(waitFlag);
  CLI::App* exportCommand = app.add_subcommand(
      "export", "write the settings file as JSON on standard output, or into a file");
  std::string exportFile = "-";
  exportCommand->add_option("OUT", exportFile,
                            "the JSON file to write (default: -, standard output)");
  CLI::App* import =
      app.add_subcommand("import", "read JSON on standard input and write it as a settings file");
  std::string importFile;
  import->add_option("OUT", importFile, "the settings file to write, - for standard output")
      ->required();
  CLI::App* history = app.add_subcommand(
      "history",
      "print the journal of archive jobs kept beside the settings file: the latest record of "
      "each directory, oldest first, or every record of the given directories");
  std::vector<int> historyIndexes;
  bool json = false;
  history->add_option("INDEX", historyIndexes,
                      "directories whose every record is printed, by their path in the "
                      "settings file now");
  history->add_flag("--json", json, "print the records as the journal holds them, JSON lines");
  bool failedOnly = false;
  history->add_flag("--failed", failedOnly,
                    "print only the records that failed, and exit with 1 when there is one");

  CLI::App* preview = app.add_subcommand(
      "preview",
      "print what each directory's job would take, without running the archiver: the files "
      "and bytes in all and for each of the rule's masks (every directory, or the given ones)");
  std::vector<int> previewIndexes;
  bool filesOnly = false;
  preview->add_option("INDEX", previewIndexes, "directories to preview");
  preview->add_flag("--files", filesOnly,
                    "print only the files, one path a line relative to its directory, as "
                    "stored");

  CLI::App* verify = app.add_subcommand(
      "verify",
      "test the latest archive of every directory, or of the given ones (the newest the "
      "journal names that is still there), with the archiver, and compare what it holds with "
      "what the job would take now: the files it lacks and those the job would not take");
  std::vector<int> verifyIndexes;
  verify->add_option("INDEX", verifyIndexes, "directories whose latest archive is verified");

  CLI::App* subfolder = app.add_subcommand(
      "subfolder",
      "print the name that a date-time pattern gives the dated subfolder now, as a run names "
      "it (a shell script asks this where date cannot spell the pattern)");
  std::string subfolderPattern;
  subfolder->add_option("PATTERN", subfolderPattern, "the pattern, such as \"dddd d mmmm yyyy\"")
      ->required();

  CLI::App* prune = app.add_subcommand(
      "prune",
      "delete the archives of the runs in the output folder's dated folders that the keep rules "
      "(\"Keep\" in the settings' JSON) do not keep, and print, per run, kept (with the rules "
      "that keep it) or deleted, and what that freed; the newest archive of each directory, a "
      "run still at work, the archives a failed test leaves as the last good ones and every "
      "file the journal does not know are always kept; each deletion goes into the journal; "
      "refused (exit status 2) when no rule is set. `run --wait` prunes after a run in which "
      "every directory succeeded");
  bool dryRun = false;
  prune->add_flag("--dry-run", dryRun,
                  "print what a prune would delete and keep, and delete nothing");

  CLI::App* find = app.add_subcommand(
      "find",
      "print every copy of the files that match PATTERN in the archives the journal names that "
      "are still there, newest night first: the night, the directory, the path inside the "
      "archive, its size and modification time, and the archive; each archive is listed once "
      "with 7-Zip into the index beside the journal (Packetwright.index)");
  std::string findPattern;
  int findDir = 0;
  bool findJson = false;
  find->add_option("PATTERN", findPattern,
                   "a file name, or a path inside the archive (with a /), with * and ? as "
                   "wildcards that do not cross a /")
      ->required();
  find->add_option("--dir", findDir, "only the archives of this directory")->type_name("N");
  find->add_flag("--json", findJson, "one JSON object a line");

  CLI::App* restore = app.add_subcommand(
      "restore",
      "put files from an archive back: from one archive (--archive, or --night with --dir) or "
      "the newest copy of each (--latest); it first prints what it would create and what is "
      "already there, and never overwrites a file without --overwrite; 7-Zip extracts into a "
      "temporary folder in the target folder, each file is checked against the archive's "
      "listing (size, CRC) and only then put under its name");
  TRestoreCommand restoreCommand;
  restore->add_option("--archive", restoreCommand.archive, "the archive")->type_name("FILE");
  restore->add_option("--night", restoreCommand.night,
                      "the archive of the directory (--dir) from that night")
      ->type_name("YYYY-MM-DD");
  restore->add_option("--dir", restoreCommand.dir,
                      "the directory: with --night, or to look only in its archives with "
                      "--latest")
      ->type_name("N");
  restore->add_flag("--latest", restoreCommand.latest,
                    "the newest archive that holds each path");
  restore->add_option("PATH", restoreCommand.paths,
                      "files or folders inside the archive, relative to the archived directory; "
                      "a folder brings what it holds")
      ->required();
  restore->add_option("--to", restoreCommand.to, "the folder to restore into")->type_name("DIR");
  restore->add_flag("--to-original", restoreCommand.toOriginal,
                    "restore into the directory's own folder");
  restore->add_flag("--overwrite", restoreCommand.overwrite,
                    "replace a file that is already there");
  restore->add_flag("--keep-both", restoreCommand.keepBoth,
                    "put the restored copy beside a file already there, the night in its name: "
                    "\"file3 (2026-12-08).odt\"");
  restore->add_flag("--skip-existing", restoreCommand.skipExisting,
                    "leave a file that is already there as it is, and restore the others");
  restore->add_flag("--dry-run", restoreCommand.dryRun,
                    "print what would be created and what is already there, and write nothing");

  // Not for people: what the window's start of a job without waiting calls
  // once the archiver has ended, to journal what became of it.
  CLI::App* journalEnd = app.add_subcommand("journal-end", "")->group("");
  std::string endJournal, endRecord;
  int endStatus = 0;
  journalEnd->add_option("JOURNAL", endJournal)->required();
  journalEnd->add_option("RECORD", endRecord)->required();
  journalEnd->add_option("STATUS", endStatus)->required();

  if (const char* unknown = UnknownCommand(argc, argv)) {
    return UsageError(std::string("unknown command \"") + unknown + "\"");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cout.flush();
    app.exit(e, std::cout, std::cerr);
    return kUsageError;
  }

  try {
    // Named once for the whole command: the journal beside it stays where
    // the settings file is, whatever a run does.
    if (!settings.empty()) settings = Dialect().Resolved(settings, Get<ICurrentDirectory>().Get());
    if (*exportCommand) {
      // The file as stored: an output folder that it leaves out stays empty
      // here instead of taking the default, so that import gives the file back.
      TbkManager manager;
      manager.SetOutputPath("");
      Load(manager, settings);
      return Export(manager, exportFile);
    }
    if (*import) return Import(importFile);
    if (*journalEnd) return JournalEnd(endJournal, endRecord, endStatus);
    if (*history) return History(settings, historyIndexes, json, failedOnly);
    if (*subfolder) {
      std::cout << FormatSubDirName(subfolderPattern) << "\n";
      return OutputWritten();
    }
    if (*scheduleSet) {
      SetSchedule(settings, scheduleAt, scheduleDays);
      return OutputWritten();
    }
    if (*scheduleRemove) {
      RemoveSchedule(settings);
      return OutputWritten();
    }
    // The keyring's library needs an application object; made only where
    // a password may be kept or read.
    std::optional<TKeyringSession> keyring;
    if (*password || *run || *verify) keyring.emplace(argc, argv);
    if (*passwordSet) {
      SetPassword(settings, passwordFile, encryptNames);
      return OutputWritten();
    }
    if (*passwordClear) {
      ClearPassword(settings);
      return OutputWritten();
    }
    TbkManager manager;
    Load(manager, settings);
    if (*password) return ShowPasswordPlace(manager);
    if (*schedule) ShowSchedule(manager, settings);
    if (*show) Show(manager, settings);
    if (*commands) {
      const std::string text = BatchFileText(ScriptLinesForAll(MakeScriptPlan(manager), all));
      BinaryStandardOutput();
      std::cout << text;
    }
    if (*bat) {
      const std::vector<std::string> lines = ScriptLinesForAll(MakeScriptPlan(manager), false);
      if (IsStandardStream(batFile)) {
        BinaryStandardOutput();
        std::cout << BatchFileText(lines);
      } else {
        WriteNamed(batFile, [&] { WriteBatchFile(batFile, lines); });
      }
    }
    if (*run) {
      CheckIndexes(manager, indexes);
      TRunRequest request{indexes, wait, jobsAtOnce, due, ifMissed, notify};
      return Run(manager, request, JournalFileName(settings));
    }
    if (*verify) {
      CheckIndexes(manager, verifyIndexes);
      return VerifyDirectories(manager, verifyIndexes, JournalFileName(settings));
    }
    if (*preview) {
      CheckIndexes(manager, previewIndexes);
      return PreviewDirectories(manager, previewIndexes, filesOnly);
    }
    if (*find) return FindCopies(manager, findPattern, findDir, findJson, JournalFileName(settings));
    if (*restore) return RestoreFiles(manager, restoreCommand, JournalFileName(settings));
    if (*prune) {
      CheckKeepRules(manager);
      return Prune(manager, JournalFileName(settings), dryRun);
    }
    return OutputWritten();
  } catch (const EUsageError& e) {
    return UsageError(e.Message());
  } catch (const Exception& e) {
    return Failed(e.Message());
  } catch (const std::bad_alloc&) {
    return Failed("Not enough memory");
  }
}

}  // namespace pw

int main(int argc, char** argv) {
  pw::IgnoreFileSizeLimitSignal();
  pw::IgnoreBrokenPipeSignal();
  return pw::Main(argc, argv);
}

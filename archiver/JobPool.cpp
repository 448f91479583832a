#include "archiver/JobPool.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace pw {

const char kNotStartedCancelled[] = "Not started: the run was cancelled";
const char kStoppedCancelled[] = "Cancelled: the archiver was stopped";

int DefaultJobsAtOnce() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

TJobPool::TJobPool(std::vector<TArchiveJob> jobs, int jobsAtOnce,
                   std::chrono::milliseconds grace)
    : jobs_(std::move(jobs)), jobsAtOnce_(std::clamp(jobsAtOnce, 1, kMostJobsAtOnce)), stop_(grace) {}

void TJobPool::Cancel() {
  {
    const std::lock_guard lock(mutex_);
    if (cancelled_.exchange(true)) return;
  }
  stop_.Stop();
  turn_.notify_all();
}

void TJobPool::Run(const TPoolEvents& events) {
  const size_t workers = std::min(jobs_.size(), static_cast<size_t>(jobsAtOnce_));
  std::vector<std::thread> threads;
  threads.reserve(workers);
  try {
    for (size_t i = 0; i < workers; ++i) threads.emplace_back([this, &events] { Work(events); });
  } catch (const std::system_error& e) {
    // Fewer threads than asked for still run every job; none at all, not.
    if (threads.empty()) throw ENoThreadError(std::string("Cannot start a thread: ") + e.what());
  }
  for (std::thread& thread : threads) thread.join();
  if (eventFailure_) std::rethrow_exception(eventFailure_);
}

void TJobPool::End(const TPoolEvents& events, size_t index, const std::string& started,
                   const TJobOutcome& outcome) {
  try {
    if (events.ended) events.ended(index, started, outcome);
  } catch (...) {
    {
      const std::lock_guard lock(mutex_);
      if (!eventFailure_) eventFailure_ = std::current_exception();
    }
    Cancel();
  }
}

// One worker: turns to the next job once the one before has started, runs it
// and waits for it, and so on until no job is left. As many workers as
// archivers may run at once.
void TJobPool::Work(const TPoolEvents& events) {
  for (;;) {
    size_t index;
    bool startNone;
    {
      std::unique_lock lock(mutex_);
      turn_.wait(lock, [this] { return !starting_ || cancelled_.load(); });
      if (next_ == jobs_.size()) return;
      index = next_++;
      startNone = cancelled_.load() || TEndingSignalsPassedOn::Received() != 0;
      if (!startNone && jobs_[index].error.empty()) starting_ = true;
    }
    const TArchiveJob& job = jobs_[index];
    const std::string started = JournalTimeNow();
    TJobOutcome outcome;
    if (startNone) {
      outcome.error = kNotStartedCancelled;
      End(events, index, started, outcome);
      continue;
    }
    if (!job.error.empty()) {
      outcome.error = job.error;
      End(events, index, started, outcome);
      continue;
    }
    bool ran = false;
    const auto nextTurn = [this] {
      {
        const std::lock_guard lock(mutex_);
        starting_ = false;
      }
      turn_.notify_all();
    };
    TRunOptions options;
    options.stop = &stop_;
    if (events.output) {
      options.output = [&events, index](int stream, const std::string& line) {
        events.output(index, stream, line);
      };
    }
    // The next job's turn comes once this one's event is out, so that the
    // started events come in the order the archivers started.
    options.started = [&] {
      ran = true;
      try {
        if (events.started) events.started(index, started);
      } catch (...) {
        {
          const std::lock_guard lock(mutex_);
          if (!eventFailure_) eventFailure_ = std::current_exception();
        }
        Cancel();
      }
      nextTurn();
    };
    outcome = RunJobAndWait(job, options);
    if (!ran) nextTurn();
    if (!ran && outcome.error == ERunStopped(job.program).Message()) {
      outcome.error = kNotStartedCancelled;  // cancelled while it was about to start
    } else if (ran && outcome.stopped && outcome.error.empty()) {
      outcome.error = kStoppedCancelled;
    }
    End(events, index, started, outcome);
  }
}

TJournalRecord JobRecord(const TArchiveJob& job, const std::string& started,
                         const TJobOutcome& outcome, bool awaited) {
  TJournalRecord record;
  record.directory = job.directory;
  record.position = job.position;
  record.archive = job.archiveFile;
  record.started = started;
  if (awaited) record.ended = JournalTimeNow();
  RecordOutcome(record, outcome);
  return record;
}

void RecordOutcome(TJournalRecord& record, const TJobOutcome& outcome) {
  record.status = outcome.status;
  record.error.reset();
  if (!outcome.error.empty()) record.error = outcome.error;
  record.bytes = outcome.bytes;
  record.warning.reset();
  if (!outcome.warning.empty()) record.warning = outcome.warning;
  record.tested = outcome.tested;
}

}  // namespace pw

// Running many archive jobs through a small pool: at most a given number of
// archivers at once, each waited for, started in the jobs' order.
//
// Ten directories of 24 MB with 7-Zip took 169-186 s all at once with 2.9 GB
// of archivers at the peak, 199-224 s one at a time with 290 MB, and 154 s
// two at a time with 572 MB: a few at once is both the fastest and light.
// bench/PoolBench.cpp measures the same with 20 directories of 2 MB: on 2
// cores 7.1 s through a pool of 2 with 76 MB at the peak, 9.0 s all at once
// with 756 MB, 8.4 s one at a time with 38 MB (medians of 3 rounds).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/Journal.h"
#include "platform/Errors.h"
#include "platform/Process.h"

namespace pw {

// The number of processor cores, at least 1.
int DefaultJobsAtOnce();

// The most archivers a pool runs at once; a larger number counts as this.
constexpr int kMostJobsAtOnce = kMostProgramsWaitedFor;

// The error of a job that the pool never started because the run was
// cancelled, or ended by a signal that TEndingSignalsPassedOn keeps.
extern const char kNotStartedCancelled[];  // "Not started: the run was cancelled"
// The error of a job whose archiver Cancel() stopped (its status is kept).
extern const char kStoppedCancelled[];  // "Cancelled: the archiver was stopped"

// Run found no thread to run the jobs on (the system's limit of processes or
// of memory): no job started and no event came.
class ENoThreadError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "ENoThreadError"; }
};

struct TPoolEvents {
  // Both are called from the pool's own threads, never from the thread that
  // called Run: for different jobs possibly at the same time, so they must
  // be safe to call from several threads at once (a journal, or standard
  // output, wants a lock); for one job never at the same time, and started
  // always before ended. index is into the jobs given to the pool; started is
  // the moment the pool turned to the job (JournalTimeNow), the same text
  // for both calls. Neither may block for long, for the pool waits for them;
  // an exception from either cancels the run and comes out of Run once every
  // job has ended. A window hands them on to its own thread (a queued call)
  // and runs Run itself on a thread of its own, so that it can Cancel().
  //
  // started: the job's archiver runs (not called for a job that did not
  // start: one with an error, one whose archiver could not be started, one
  // never started after Cancel()). These calls come in the jobs' order: the
  // next archiver starts once the call has returned.
  std::function<void(size_t index, const std::string& started)> started;
  // Every job ends exactly once, whether it ran or not.
  std::function<void(size_t index, const std::string& started, const TJobOutcome& outcome)> ended;
  // Each line the job's archiver writes (stream 1 its standard output, 2 its
  // standard error), between its started and its ended, from the thread that
  // runs it; must not throw. Without it the lines are only read for the
  // job's warning.
  std::function<void(size_t index, int stream, const std::string& line)> output;
};

// Runs the jobs, jobsAtOnce archivers at a time at most (below 1 counts as 1,
// above kMostJobsAtOnce as that), starting them strictly in the jobs' order:
// a job's archiver starts only once the one before it has started. A job
// with an error is not started and ends at once with that error, at its
// turn. Each job runs as RunJobAndWait runs it: its archiver starts in the
// job's working directory by itself, and the process's current directory is
// never changed.
//
// Cancel(), from any thread and at any time, ends the running archivers
// (SIGTERM on POSIX, and SIGKILL after the grace; TerminateProcess on
// Windows) and waits for them: their jobs end stopped with kStoppedCancelled
// and the archiver's status, the 7-Zip temporary archive removed and the old
// archive kept as it was before the job, even where the archiver ended with 0
// before the stop reached it. No further job starts: the jobs never started end with
// kNotStartedCancelled and no status. A signal kept by a living
// TEndingSignalsPassedOn (SIGTERM, SIGINT, SIGHUP) likewise starts no further
// job; it has reached every running archiver by itself, whose jobs end
// stopped as after Cancel(), and the jobs not started end with
// kNotStartedCancelled.
class TJobPool {
 public:
  // grace: how long an archiver may go on after Cancel() or an ending
  // signal before it is killed.
  TJobPool(std::vector<TArchiveJob> jobs, int jobsAtOnce,
           std::chrono::milliseconds grace = kStopGrace);
  TJobPool(const TJobPool&) = delete;
  TJobPool& operator=(const TJobPool&) = delete;

  // Returns when every job has ended. Once per pool. Fails with
  // ENoThreadError, before any job, when not even one thread can be started.
  void Run(const TPoolEvents& events);
  // Thread-safe, returns at once; Run returns once the archivers have ended.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

  const std::vector<TArchiveJob>& Jobs() const { return jobs_; }
  int JobsAtOnce() const { return jobsAtOnce_; }

 private:
  void Work(const TPoolEvents& events);
  void End(const TPoolEvents& events, size_t index, const std::string& started,
           const TJobOutcome& outcome);

  const std::vector<TArchiveJob> jobs_;
  const int jobsAtOnce_;
  TRunStop stop_;
  std::atomic<bool> cancelled_{false};

  std::mutex mutex_;
  std::condition_variable turn_;  // the job whose turn it was has started, or will not
  size_t next_ = 0;               // the next job to turn to
  bool starting_ = false;         // a job's archiver is being started
  std::exception_ptr eventFailure_;
};

// What a record says of the outcome: its status, error, size and warning.
void RecordOutcome(TJournalRecord& record, const TJobOutcome& outcome);

// The journal record of one job, as the companion and the window write it:
// started is the moment the job was turned to; ended is now when the job was
// awaited (none for one only started).
TJournalRecord JobRecord(const TArchiveJob& job, const std::string& started,
                         const TJobOutcome& outcome, bool awaited);

}  // namespace pw

// Saving a file so that a failed save leaves the previous file as it was.
//
// The content is collected in memory and written out by Commit. Normally it
// goes into a new file in the target's own folder (after following symbolic
// links, which stay links), is forced onto the disk and then replaces the
// target in one step. Where the new file is made without a name (Linux,
// O_TMPFILE) an interrupted save leaves nothing behind; elsewhere the new
// file is named ".NAME.XXXXXX.tmp" (NAME shortened so that it always fits)
// and is removed on every path except a crash or kill, after which it is a
// harmless leftover.
//
// The target is written in place instead when it must keep its identity or
// no new file can be made beside it:
//   - it is not a regular file (a FIFO, a device): written into, never
//     replaced;
//   - it has more than one hard link: every name keeps seeing the new content;
//   - a file is mounted over it (a bind mount), which no rename can replace;
//   - its folder refuses new files.
// In place, the full size is reserved before the first byte is overwritten,
// so a full disk or a file-size limit fails with the old file untouched. What
// is still not protected there: a crash, a kill or a power loss during the
// write itself, or a write error after the space was reserved, can leave the
// file partly new.
//
// On POSIX systems an open descriptor, named as /dev/stdout, /dev/stderr,
// /dev/fd/N or /proc/self/fd/N (or by the process's number), is written
// through a duplicate of it: at its position, or at the end when it was opened
// for appending; nothing is reserved or cut there. Every other path under
// /proc is an ordinary path whose links are followed.
//
// A file that exists but may not be written (read-only mode or attribute) is
// refused, as is a directory, and so is a descriptor open only for reading.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Streams.h"

namespace pw {

class TSafeFileWriter {
 public:
  // Fails with "Cannot create file %s" when the file cannot be written.
  // ownerOnly: a file that is not there yet is made for its owner alone
  // (mode 600 on POSIX, whatever the umask), as what is private (the
  // settings, a script) is; an existing file keeps its mode either way.
  explicit TSafeFileWriter(const std::string& fileName, bool ownerOnly = false);
  ~TSafeFileWriter();  // an uncommitted temporary file is removed
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  TStream& Stream() { return content_; }
  // Puts the written content in place; fails with "Stream write error" or
  // "Cannot create file %s", and then the target is untouched (in place:
  // see above).
  void Commit() {
    if (inPlace_) {
      CommitInPlace();
    } else {
      CommitReplacing();
    }
    committed_ = true;
  }

 private:
  // Tests look through it at which way the content will be put in place.
  friend struct TSafeFileWriterInspector;

  // Each system has its own.
  void CommitInPlace();
  void CommitReplacing();

  std::string fileName_;  // as the caller named it, for messages
  std::string target_;    // the file that gets the content, links followed
  std::string tempName_;  // a named temporary file, removed unless committed
  TMemoryStream content_;
  intptr_t handle_ = -1;  // the temporary file, or the target when in place
  bool existed_ = false;
  bool inPlace_ = false;
  bool descriptor_ = false;  // handle_ duplicates a descriptor the caller named
  bool committed_ = false;
};

}  // namespace pw

// Saving a file so that a failed save leaves the previous file as it was: the
// new content goes to a temporary file in the same folder, is forced onto the
// disk and then replaces the target in one step. Where that cannot work (the
// target is a link, or the folder refuses new files) the target is written in
// place instead.
#pragma once

#include <memory>
#include <string>

#include "platform/Streams.h"

namespace pw {

class TSafeFileWriter {
 public:
  // Fails with "Cannot create file %s" when neither way of writing is possible.
  explicit TSafeFileWriter(const std::string& fileName);
  ~TSafeFileWriter();  // an uncommitted temporary file is removed
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  TStream& Stream() { return *stream_; }
  // Puts the written content in place; fails with "Stream write error" or
  // "Cannot create file %s", and then the target is untouched.
  void Commit();

  bool WritesInPlace() const { return tempName_.empty(); }

 private:
  std::string fileName_;
  std::string tempName_;  // empty when writing in place
  std::unique_ptr<TFileStream> stream_;
  bool committed_ = false;
};

}  // namespace pw

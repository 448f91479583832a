// What a program started directly gets of the signals: the dispositions a
// shell would give it, whatever this process does with the signals it
// ignores for itself (SIGPIPE, SIGXFSZ).
#pragma once

#include <signal.h>
#include <spawn.h>

namespace pw {

class TShellSpawnAttributes {
 public:
  TShellSpawnAttributes() {
    ::posix_spawnattr_init(&attributes_);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
    ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
  }
  ~TShellSpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  TShellSpawnAttributes(const TShellSpawnAttributes&) = delete;
  TShellSpawnAttributes& operator=(const TShellSpawnAttributes&) = delete;

  const posix_spawnattr_t* Get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace pw

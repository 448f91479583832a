// The services the POSIX-style archiver tests run under: POSIX paths, a clock
// at 2026-12-08 02:30 and US English regional settings.
#pragma once

#include "platform/Services.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"

namespace pw::test {

inline TDateTime December8() {
  TDateTime t;
  t.Year = 2026, t.Month = 12, t.Day = 8, t.Hour = 2, t.Minute = 30;
  return t;
}

struct TPosixDay {
  fakes::FixedPathStyle posix{TPathStyle::psPosix};
  fakes::FakeClock clock{December8()};
  fakes::FixedRegionalSettings regional{fakes::UsEnglish()};
  ScopedOverride<IPathStyle> usePosix{posix};
  ScopedOverride<IClock> useClock{clock};
  ScopedOverride<IRegionalSettings> useRegional{regional};
};

}  // namespace pw::test

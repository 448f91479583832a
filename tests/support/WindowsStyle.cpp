// The suites linked with this file were written for the Windows style, and
// run in it on every system. Cases of the POSIX style choose it themselves
// with a ScopedOverride of their own.
#include "platform/fakes/FakeProcesses.h"

namespace pw {
namespace {

fakes::FixedPathStyle windowsStyle(TPathStyle::psWindows);
const ScopedOverride<IPathStyle> chosen(windowsStyle);

}  // namespace
}  // namespace pw

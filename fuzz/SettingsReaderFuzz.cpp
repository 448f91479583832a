// Feeds arbitrary bytes to the settings reader. Any input must end in a
// result or an error of ours. A document that was read is written and read
// again twice: the first round may settle defaults (an empty output folder is
// not written and comes back as the default one), after that the stream must
// not change.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pw::TbkManager manager;
  pw::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
  try {
    manager.LoadFromStream(input);
  } catch (const pw::Exception&) {
    return 0;
  }
  auto roundTrip = [](pw::TbkManager& from) {
    pw::TMemoryStream written;
    from.SaveToStream(written, true);
    written.SetPosition(0);
    auto to = std::make_unique<pw::TbkManager>();
    to->LoadFromStream(written);
    return std::make_pair(written.Bytes(), std::move(to));
  };
  auto [first, settled] = roundTrip(manager);
  auto [second, again] = roundTrip(*settled);
  auto [third, unused] = roundTrip(*again);
  if (second != third) std::abort();
  return 0;
}

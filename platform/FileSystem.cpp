#include "platform/FileSystem.h"

#include <algorithm>

namespace pw {

namespace {

unsigned char Fold(char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

void TDirectoryListing::Add(std::string_view name, bool isDirectory) {
  entries.push_back(
      {static_cast<uint32_t>(names.size()), static_cast<uint32_t>(name.size()), isDirectory});
  names.append(name);
}

void TDirectoryListing::SortByName() {
  std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
    const std::string_view x = Name(a), y = Name(b);
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
      const unsigned char p = Fold(x[i]), q = Fold(y[i]);
      if (p != q) return p < q;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;  // names that differ only in case keep one order
  });
}

}  // namespace pw

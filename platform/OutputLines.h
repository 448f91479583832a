// A program's output cut into lines as it comes, for both systems' runners.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace pw {

class TOutputLines {
 public:
  using TOutput = std::function<void(int stream, const std::string& line)>;
  explicit TOutputLines(const TOutput& output) : output_(output) {}

  // What came on stream (1 or 2): each whole line goes on without its line
  // end ("\n" or "\r\n").
  void Add(int stream, const char* bytes, size_t count) {
    std::string& text = pending_[stream == 2];
    text.append(bytes, count);
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
      size_t length = end - from;
      if (length > 0 && text[end - 1] == '\r') --length;
      output_(stream, text.substr(from, length));
    }
    text.erase(0, from);
  }
  // The stream has ended: a last line without a line end goes on too.
  void End(int stream) {
    std::string& text = pending_[stream == 2];
    if (!text.empty()) output_(stream, text);
    text.clear();
  }

 private:
  const TOutput& output_;
  std::string pending_[2];
};

}  // namespace pw

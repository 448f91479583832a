// Stand-ins for the path style, the PATH search and the process runner, for
// tests. Put one in place with ScopedOverride<Interface>.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/PathStyle.h"
#include "platform/Process.h"
#include "platform/Programs.h"

namespace pw::fakes {

class FixedPathStyle final : public IPathStyle {
 public:
  explicit FixedPathStyle(TPathStyle style) : style_(style) {}
  TPathStyle Style() const override { return style_; }

 private:
  TPathStyle style_;
};

class FakeProgramSearch final : public IProgramSearch {
 public:
  std::optional<std::string> FindOnPath(const std::string& name) const override {
    const auto found = programs.find(name);
    if (found == programs.end()) return std::nullopt;
    return found->second;
  }
  std::map<std::string, std::string> programs;  // name -> full name
};

// Records every start; programs listed in missing cannot be started, and the
// others end with status.
class FakeProcessRunner final : public IProcessRunner {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string parameters;
    bool waited;
    bool operator==(const Call&) const = default;
  };
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    return Record({program, {}, parameters, true});
  }
  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments) override {
    return Record({program, arguments, {}, true});
  }
  void Start(const std::string& program, const std::string& parameters) override {
    Record({program, {}, parameters, false});
  }
  void Start(const std::string& program, const std::vector<std::string>& arguments) override {
    Record({program, arguments, {}, false});
  }

  std::vector<Call> calls;
  std::set<std::string> missing;
  int status = 0;

 private:
  int Record(Call call) {
    if (missing.count(call.program)) throw Exception("Cannot start " + call.program);
    calls.push_back(std::move(call));
    return status;
  }
};

}  // namespace pw::fakes

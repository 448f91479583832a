#include "platform/CommandLine.h"

namespace pw {

std::vector<std::string> SplitCommandLine(const std::string& parameters) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  const size_t n = parameters.size();
  for (size_t i = 0; i < n;) {
    const char c = parameters[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      size_t slashes = 0;
      while (i < n && parameters[i] == '\\') ++slashes, ++i;
      if (i < n && parameters[i] == '"') {
        current.append(slashes / 2, '\\');
        if (slashes % 2) {
          current += '"';
          ++i;
        }
      } else {
        current.append(slashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < n && parameters[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) args.push_back(current);
  return args;
}

TProgramCall AssociationCall(const std::string& command, const std::string& argument) {
  TProgramCall call;
  size_t at = command.find_first_not_of(" \t");
  if (at == std::string::npos) return call;
  size_t end;
  if (command[at] == '"') {
    end = command.find('"', at + 1);
    call.program = command.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    end = end == std::string::npos ? command.size() : end + 1;
  } else {
    end = command.find_first_of(" \t", at);
    if (end == std::string::npos) end = command.size();
    call.program = command.substr(at, end - at);
  }
  at = command.find_first_not_of(" \t", end);
  const std::string rest = at == std::string::npos ? "" : command.substr(at);
  bool placed = false;
  for (size_t i = 0; i < rest.size(); ++i) {
    const char next = i + 1 < rest.size() ? rest[i + 1] : '\0';
    if (rest[i] == '%' && (next == '1' || next == 'L' || next == 'l')) {
      call.parameters += argument;
      placed = true;
      ++i;
    } else if (rest[i] == '%' && next == '*') {
      ++i;
    } else {
      call.parameters += rest[i];
    }
  }
  while (!call.parameters.empty() &&
         (call.parameters.back() == ' ' || call.parameters.back() == '\t')) {
    call.parameters.pop_back();
  }
  if (!placed) {
    call.parameters += (call.parameters.empty() ? "\"" : " \"") + argument + "\"";
  }
  return call;
}

std::string QuoteWindowsArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t slashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    quoted += c;
  }
  quoted.append(2 * slashes, '\\');
  return quoted + '"';
}

}  // namespace pw

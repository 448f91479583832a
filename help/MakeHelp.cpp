// Fills the help's template: every date example is formatted by the program's
// own formatter, and texts the build produces (the companion's usage) are put
// in where the template names them.
//
//   pw_make_help TEMPLATE OUTPUT [NAME=FILE ...]
//
// Markers, each an HTML comment of the template:
//   <!--example:MOMENT:PATTERN-->  three table cells: the pattern and its
//                                  moment, its result in English and in German
//                                  regional settings
//   <!--en:MOMENT:PATTERN-->       the result alone, in English settings
//   <!--de:MOMENT:PATTERN-->       the result alone, in German settings
//   <!--insert:NAME-->             the text of FILE given as NAME=FILE
// Any other comment is copied as it is.
//
// Every cell of a table body then gets its column's heading as data-label,
// so that a narrow screen can show each row as a card of labelled lines.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archiver/DateTimeFormat.h"
#include "help/HelpExamples.h"

namespace {

using pw::help::EscapeHtml;

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Formatted(const std::string& regional, const std::string& moment,
                      const std::string& pattern) {
  const auto when = pw::help::Moment(moment);
  if (!when) throw std::runtime_error("no moment \"" + moment + "\"");
  const auto settings = pw::help::Regional(regional);
  if (!settings) throw std::runtime_error("no regional settings \"" + regional + "\"");
  return "<samp>" + EscapeHtml(pw::FormatDateTime(pattern, *when, *settings)) + "</samp>";
}

// A usage text names its program as it was started, with the build's folder
// before it: the help names it alone.
std::string WithoutProgramFolder(std::string text) {
  const size_t usage = text.find("Usage: ");
  if (usage == std::string::npos) return text;
  const size_t start = usage + 7;
  const size_t end = text.find(' ', start);
  const size_t slash = text.find_last_of("/\\", end);
  if (end != std::string::npos && slash != std::string::npos && slash >= start) {
    text.erase(start, slash + 1 - start);
  }
  return text;
}

// The text that replaces the comment body, or nothing when the comment is no marker.
bool Expand(const std::string& body, const std::map<std::string, std::string>& files,
            std::string& out) {
  const size_t colon = body.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = body.substr(0, colon);
  const std::string rest = body.substr(colon + 1);
  if (kind == "insert") {
    const auto file = files.find(rest);
    if (file == files.end()) throw std::runtime_error("no file given for \"" + rest + "\"");
    out += EscapeHtml(WithoutProgramFolder(ReadFile(file->second)));
    return true;
  }
  if (kind != "example" && kind != "en" && kind != "de") return false;
  const size_t second = rest.find(':');
  if (second == std::string::npos) throw std::runtime_error("no pattern in <!--" + body + "-->");
  const std::string moment = rest.substr(0, second);
  const std::string pattern = rest.substr(second + 1);
  if (kind != "example") {
    out += Formatted(kind, moment, pattern);
    return true;
  }
  out += "<td><code data-moment=\"" + EscapeHtml(moment) + "\">" + EscapeHtml(pattern) +
         "</code> <span class=\"moment\">(" + EscapeHtml(moment) + ")</span></td><td lang=\"en\">" +
         Formatted("en", moment, pattern) + "</td><td lang=\"de\">" +
         Formatted("de", moment, pattern) + "</td>";
  return true;
}

std::string Fill(const std::string& text, const std::map<std::string, std::string>& files) {
  std::string out;
  size_t at = 0;
  for (size_t open; (open = text.find("<!--", at)) != std::string::npos;) {
    const size_t close = text.find("-->", open + 4);
    if (close == std::string::npos) throw std::runtime_error("a comment is not closed");
    out.append(text, at, open - at);
    if (!Expand(text.substr(open + 4, close - open - 4), files, out)) {
      out.append(text, open, close + 3 - open);
    }
    at = close + 3;
  }
  out.append(text, at);
  return out;
}

std::string PlainText(const std::string& html) {
  return std::regex_replace(html, std::regex("<[^>]*>"), "");
}

// The cells of the rows, <td ...> or <th ...>, each with the label of its
// column; a <tr> begins the count again.
std::string LabelRows(const std::string& rows, const std::vector<std::string>& labels) {
  static const std::regex cell("<(tr|td|th)([ >])");
  std::string out;
  size_t column = 0;
  auto at = rows.cbegin();
  for (std::sregex_iterator it(rows.begin(), rows.end(), cell), end; it != end; ++it) {
    out.append(at, (*it)[0].first);
    out += "<" + (*it)[1].str();
    if ((*it)[1] == "tr") {
      column = 0;
    } else if (column < labels.size() && !labels[column].empty()) {
      out += " data-label=\"" + EscapeHtml(labels[column]) + "\"";
    }
    out += (*it)[2].str();
    at = (*it)[0].second;
    if ((*it)[1] != "tr") ++column;
  }
  out.append(at, rows.cend());
  return out;
}

std::string LabelTables(const std::string& html) {
  std::string out;
  size_t at = 0;
  for (size_t open; (open = html.find("<table>", at)) != std::string::npos;) {
    const size_t close = html.find("</table>", open);
    if (close == std::string::npos) throw std::runtime_error("a table is not closed");
    out.append(html, at, open - at);
    std::string table = html.substr(open, close - open);
    const size_t headEnd = table.find("</thead>");
    if (headEnd != std::string::npos) {
      std::vector<std::string> labels;
      static const std::regex heading("<th[^>]*>([\\s\\S]*?)</th>");
      const std::string head = table.substr(0, headEnd);
      for (std::sregex_iterator it(head.begin(), head.end(), heading), end; it != end; ++it) {
        labels.push_back(PlainText((*it)[1]));
      }
      table = table.substr(0, headEnd) + LabelRows(table.substr(headEnd), labels);
    }
    out += table;
    at = close;
  }
  out.append(html, at);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: pw_make_help TEMPLATE OUTPUT [NAME=FILE ...]\n";
    return 2;
  }
  try {
    std::map<std::string, std::string> files;
    for (int i = 3; i < argc; ++i) {
      const std::string given = argv[i];
      const size_t equals = given.find('=');
      if (equals == std::string::npos) throw std::runtime_error("not NAME=FILE: " + given);
      files[given.substr(0, equals)] = given.substr(equals + 1);
    }
    const std::string help = LabelTables(Fill(ReadFile(argv[1]), files));
    const std::string temporary = std::string(argv[2]) + ".new";
    {
      std::ofstream out(temporary, std::ios::binary);
      out << help;
      if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
    }
    std::remove(argv[2]);
    if (std::rename(temporary.c_str(), argv[2]) != 0) {
      throw std::runtime_error(std::string("cannot write ") + argv[2]);
    }
  } catch (const std::exception& e) {
    std::cerr << "pw_make_help: " << argv[1] << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

// The help beside the program against the program itself: its date examples
// against the formatter, its troubleshooting table against the messages the
// sources can show, its topics against the help keys, its pictures against
// the folder beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archiver/DateTimeFormat.h"
#include "help/HelpExamples.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string& Help() {
  static const std::string help = ReadFile(PW_HELP_FILE);
  return help;
}

std::string Unescaped(std::string text) {
  const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"},    {"&gt;", ">"},
                                                          {"&quot;", "\""}, {"&#39;", "'"},
                                                          {"&nbsp;", " "},  {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) {
    for (size_t at; (at = text.find(entity)) != std::string::npos;) {
      text.replace(at, std::string(entity).size(), character);
    }
  }
  return text;
}

// The text a reader sees: no tags, entities decoded, white space as one blank.
std::string Visible(const std::string& html) {
  const std::string bare = std::regex_replace(html, std::regex("<[^>]*>"), "");
  std::string out;
  for (const char c : Unescaped(bare)) {
    const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  return out;
}

std::string Section(const std::string& id) {
  const std::string& help = Help();
  const size_t start = help.find("<section id=\"" + id + "\"");
  if (start == std::string::npos) return "";
  const size_t end = help.find("</section>", start);
  return help.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(Help, IsThereAndFilledIn) {
  ASSERT_FALSE(Help().empty()) << PW_HELP_FILE;
  for (const char* marker : {"<!--example:", "<!--en:", "<!--de:", "<!--insert:"}) {
    EXPECT_EQ(Help().find(marker), std::string::npos) << marker;
  }
}

// ---- The date-time pattern language ---------------------------------------------

TEST(HelpDates, EveryExampleIsWhatTheFormatterGives) {
  const std::regex row(
      "<code data-moment=\"([a-z]+)\">([^<]*)</code>(?: <span[^>]*>[^<]*</span>)?</td>"
      "<td[^>]* lang=\"en\"><samp>([^<]*)</samp></td><td[^>]* "
      "lang=\"de\"><samp>([^<]*)</samp></td>");
  int rows = 0;
  const std::string& help = Help();
  for (auto it = std::sregex_iterator(help.begin(), help.end(), row); it != std::sregex_iterator();
       ++it, ++rows) {
    const auto when = help::Moment((*it)[1].str());
    ASSERT_TRUE(when) << (*it)[1];
    const std::string pattern = Unescaped((*it)[2]);
    EXPECT_EQ(Unescaped((*it)[3]), FormatDateTime(pattern, *when, *help::Regional("en")))
        << "English: " << pattern;
    EXPECT_EQ(Unescaped((*it)[4]), FormatDateTime(pattern, *when, *help::Regional("de")))
        << "German: " << pattern;
  }
  // The table of the pattern language alone has more than forty rows.
  EXPECT_GE(rows, 40);
}

TEST(HelpDates, EverySpecifierHasItsRow) {
  const std::string table = Section("date-time-patterns");
  ASSERT_FALSE(table.empty());
  // Every specifier the formatter reads, by the spelling the table gives it.
  const char* const specifiers[] = {
      "y",    "yy",    "yyyy",   "m",   "mm",   "mmm",      "mmmm",  "d",     "dd",  "ddd",
      "dddd", "ddddd", "dddddd", "aaa", "aaaa", "h",        "hh",    "AM/PM", "A/P", "AMPM",
      "n",    "nn",    "s",      "ss",  "z",    "zz",       "zzz",   "t",     "tt",  "c",
      "e",    "ee",    "g",      "/",   ":",    "\"text\"", "'text'"};
  for (const char* specifier : specifiers) {
    const std::string header = "scope=\"row\"><code>" + std::string(specifier) + "</code></th>";
    EXPECT_NE(table.find(header), std::string::npos) << specifier;
  }
}

// ---- Help keys and pictures -------------------------------------------------------

TEST(HelpTopics, EveryHelpKeyOpensATopic) {
  const std::string ids = ReadFile(fs::path(PW_SOURCE_DIR) / "ui" / "PacketwrightHelpIDs.h");
  const std::regex constant("inline constexpr int (hc\\w+) = (\\d+);");
  int count = 0;
  for (auto it = std::sregex_iterator(ids.begin(), ids.end(), constant);
       it != std::sregex_iterator(); ++it, ++count) {
    EXPECT_NE(Help().find("id=\"context-" + (*it)[2].str() + "\""), std::string::npos)
        << (*it)[1] << " = " << (*it)[2];
  }
  EXPECT_GE(count, 7);
}

TEST(HelpPictures, EveryPictureIsBesideTheHelpAndSaysWhatItShows) {
  const std::regex image("<img ([^>]*)>");
  const std::regex source("src=\"([^\"]+)\"");
  const std::regex alternative("alt=\"[^\"]{10,}\"");
  const fs::path folder = fs::path(PW_HELP_FILE).parent_path();
  const std::string& help = Help();
  int count = 0;
  for (auto it = std::sregex_iterator(help.begin(), help.end(), image);
       it != std::sregex_iterator(); ++it, ++count) {
    const std::string attributes = (*it)[1];
    std::smatch file;
    ASSERT_TRUE(std::regex_search(attributes, file, source)) << attributes;
    EXPECT_TRUE(fs::is_regular_file(folder / file[1].str())) << file[1];
    EXPECT_TRUE(std::regex_search(attributes, alternative)) << attributes;
  }
  EXPECT_GE(count, 6);
}

// ---- Troubleshooting ---------------------------------------------------------------

// The source with comments taken out and each string literal (adjacent ones
// joined) replaced by "@N", N its index in literals.
std::string Tokens(const std::string& source, std::vector<std::string>& literals) {
  std::string out;
  bool lastWasLiteral = false;
  for (size_t i = 0; i < source.size();) {
    const char c = source[i];
    if (source.compare(i, 2, "//") == 0) {
      i = source.find('\n', i);
      if (i == std::string::npos) break;
      continue;
    }
    if (source.compare(i, 2, "/*") == 0) {
      const size_t end = source.find("*/", i + 2);
      i = end == std::string::npos ? source.size() : end + 2;
      continue;
    }
    if (c == '\'') {  // a character literal, or a digit separator
      const size_t end = source.find('\'', i + 1 + (source[i + 1] == '\\' ? 1 : 0));
      out += "'c'";
      i = end == std::string::npos ? source.size() : end + 1;
      lastWasLiteral = false;
      continue;
    }
    if (c == '"') {
      std::string text;
      size_t k = i + 1;
      for (; k < source.size() && source[k] != '"'; ++k) {
        if (source[k] == '\\' && k + 1 < source.size()) {
          const char next = source[++k];
          text += next == 'n' ? '\n' : next;
        } else {
          text += source[k];
        }
      }
      if (lastWasLiteral) {
        literals.back() += text;
      } else {
        out += "@" + std::to_string(literals.size());
        literals.push_back(text);
      }
      lastWasLiteral = true;
      i = k + 1;
      continue;
    }
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') lastWasLiteral = false;
    out += c;
    ++i;
  }
  return out;
}

struct TMessagePart {
  std::string text;
  std::string where;
};

// The parts of a message literal that a reader would search for: split where
// printf and Qt put their values, or at a line break; a part of fewer than
// two words is not told apart from the words around it.
void AddParts(const std::string& literal, const std::string& where,
              std::vector<TMessagePart>& parts) {
  const std::regex split("%[0-9]*[a-z]|%[0-9]|\n");
  for (auto it = std::sregex_token_iterator(literal.begin(), literal.end(), split, -1);
       it != std::sregex_token_iterator(); ++it) {
    const std::string part = Visible(it->str());
    const std::string trimmed = std::regex_replace(part, std::regex("^ +| +$"), "");
    int words = 0;
    std::istringstream in(trimmed);
    for (std::string word; in >> word;) {
      if (std::any_of(word.begin(), word.end(), [](char ch) { return std::isalpha(ch); })) ++words;
    }
    if (words >= 2) parts.push_back({trimmed, where});
  }
}

// Every literal of a statement that shows a message: one that throws, puts
// up an error box or a question, reports on standard error, sets a job's
// error, or returns a sentence.
std::vector<TMessagePart> MessageParts() {
  const std::regex sink(
      "\\bthrow\\b|ShowError\\(|Confirm\\(|ConfirmWithCancel\\(|\\bReport\\(|\\bFailed\\(|"
      "UsageError\\(|ApplySet\\(|std::cerr|fprintf\\(\\s*stderr|\\bquestion\\s*=|"
      "\\berror\\s*=|\\bE[A-Z]\\w*Error\\(|\\bException\\(|setPlainText\\(|"
      "ForEachSelected\\(|asprintf\\(|\\bFail\\(|Malformed\\(|\\bwhat\\s*=|problem_\\s*=");
  const std::regex returned("\\breturn\\s+(?:[\\w:]+\\()?@(\\d+)");
  std::vector<TMessagePart> parts;
  const fs::path root = PW_SOURCE_DIR;
  for (const char* folder : {"app", "archiver", "cli", "model", "platform", "ui"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const fs::path& file = entry.path();
      const std::string relative = fs::relative(file, root).generic_string();
      // Stand-ins for tests show nothing to a user.
      if (relative.rfind("platform/fakes/", 0) == 0) continue;
      if (file.extension() != ".cpp" && file.extension() != ".h") continue;
      std::vector<std::string> literals;
      const std::string code = Tokens(ReadFile(file), literals);
      size_t start = 0;
      for (size_t i = 0; i <= code.size(); ++i) {
        if (i < code.size() && code[i] != ';' && code[i] != '{' && code[i] != '}') continue;
        const std::string statement = code.substr(start, i - start);
        start = i + 1;
        const bool shows = std::regex_search(statement, sink);
        std::smatch first;
        const bool sentence =
            std::regex_search(statement, first, returned) &&
            std::isalpha(static_cast<unsigned char>(literals[std::stoul(first[1])].c_str()[0]));
        if (!shows && !sentence) continue;
        const std::regex literal("@(\\d+)");
        for (auto it = std::sregex_iterator(statement.begin(), statement.end(), literal);
             it != std::sregex_iterator(); ++it) {
          AddParts(literals[std::stoul((*it)[1])], relative, parts);
        }
      }
    }
  }
  return parts;
}

TEST(HelpTroubleshooting, EveryMessageOfTheProgramIsInTheTable) {
  const std::string table = Visible(Section("troubleshooting"));
  ASSERT_FALSE(table.empty());
  const std::vector<TMessagePart> parts = MessageParts();
  std::set<std::string> missing;
  for (const TMessagePart& part : parts) {
    if (table.find(part.text) == std::string::npos) missing.insert(part.where + ": " + part.text);
  }
  std::string list;
  for (const std::string& line : missing) list += "\n  " + line;
  EXPECT_TRUE(missing.empty()) << "Messages missing from the help's troubleshooting table:" << list;
  // The scan itself still finds the messages it was written for.
  EXPECT_GE(parts.size(), 60u);
}

}  // namespace
}  // namespace pw

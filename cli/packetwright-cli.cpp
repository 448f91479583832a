// packetwright-cli: the jobs of the window program's settings file, from a
// scheduler or a script, without a window.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <iterator>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/BatchFiles.h"
#include "cli/SettingsJson.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/ProgramPath.h"
#include "platform/Services.h"
#include "platform/Streams.h"

namespace pw {

namespace {

constexpr int kFailed = 1;
constexpr int kArchiverFailed = 3;

void Load(TbkManager& manager, const std::string& fileName) {
  if (!FileExists(fileName)) throw Exception("Settings file not found: " + fileName);
  manager.LoadFromFile(fileName);
}

std::string Indent(const std::string& text, const char* prefix) {
  std::string out;
  for (const std::string& line : SplitLines(text)) out += prefix + line + "\n";
  return out;
}

void Show(const TbkManager& m, const std::string& fileName) {
  std::cout << "Settings file:      " << fileName << "\n"
            << "Archiver:           " << m.ArchiverExeFileName() << "\n"
            << "Parameters:         " << m.ArchiverParams() << "\n"
            << "Exclude switch:     " << m.ExcludeKey() << "\n"
            << "Output folder:      " << m.OutputPath() << "\n"
            << "Subfolder pattern:  " << m.SubDirNamePattern() << "\n"
            << "Rules:              " << m.Rules()->Count() << "\n"
            << "Directories:        " << m.Directories()->Count() << "\n";
  for (int i = 0; i < m.Directories()->Count(); ++i) {
    const TbkDirectory& d = *m.Directories()->Items(i);
    std::cout << "\n[" << i + 1 << "] " << (d.NeedArchive() ? "[x] " : "[ ] ") << d.Path() << "\n";
    if (d.RuleName().empty()) {
      std::cout << "    Rule: none (everything is archived)\n";
    } else if (!FindRule(d.RuleName(), m.Rules())) {
      std::cout << "    Rule: " << d.RuleName() << " (missing: everything is archived)\n";
    } else {
      std::cout << "    Rule: " << d.RuleName() << "\n";
    }
    std::cout << "    Command:\n" << Indent(GetCommandText(m, d), "      ");
  }
}

const TbkDirectory& Directory(const TbkManager& m, int index) {
  if (index < 1 || index > m.Directories()->Count()) {
    throw Exception(Format("No directory %d in the settings file", index));
  }
  return *m.Directories()->Items(index - 1);
}

int Run(const TbkManager& m, const std::vector<int>& indexes, bool wait) {
  std::vector<int> chosen = indexes;
  if (chosen.empty()) {
    for (int i = 0; i < m.Directories()->Count(); ++i) {
      if (m.Directories()->Items(i)->NeedArchive()) chosen.push_back(i + 1);
    }
  }
  for (const int index : chosen) Directory(m, index);  // every index is checked before any run
  int result = 0;
  for (const int index : chosen) {
    const TbkDirectory& d = Directory(m, index);
    if (!wait) {
      RunDirectory(m, d);
      continue;
    }
    const std::string parameters = PrepareRun(m, d);
    const int status = Get<IProcessRunner>().RunAndWait(m.ArchiverExeFileName(), parameters);
    std::cout << "[" << index << "] " << d.Path() << ": exit status " << status << std::endl;
    if (status != 0) result = kArchiverFailed;
  }
  return result;
}

void Import(const std::string& output) {
  const std::string text((std::istreambuf_iterator<char>(std::cin)), {});
  Json json;
  try {
    json = Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw Exception(std::string("Invalid settings JSON: ") + e.what());
  }
  TbkManager manager;
  JsonToDocument(json, manager);
  manager.SaveToFile(output, true);
}

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app{
      "Runs and inspects the archive jobs of a Packetwright settings file without the window.\n"
      "Directories are numbered from 1 as `show` lists them."};
  app.require_subcommand(1);
  std::string settings = ProgramDirectory() + "Packetwright.dat";
  app.add_option("--settings", settings,
                 "the settings file (default: Packetwright.dat beside "
                 "the program)");

  CLI::App* show = app.add_subcommand("show",
                                      "print the options and every directory with its "
                                      "rule and command text");
  CLI::App* commands = app.add_subcommand(
      "commands", "print the batch lines of every marked directory, as a batch file holds them");
  bool all = false;
  commands->add_flag("--all", all, "every directory, marked or not");
  CLI::App* bat = app.add_subcommand("bat", "write the batch file for all marked directories");
  std::string batFile;
  bat->add_option("OUT", batFile, "the batch file to write")->required();
  CLI::App* run = app.add_subcommand(
      "run",
      "run the marked directories, or the given ones, now; the dated subfolder is named "
      "at this moment");
  std::vector<int> indexes;
  bool wait = false;
  run->add_option("INDEX", indexes, "directories to run, whether marked or not");
  run->add_flag("--wait", wait,
                "wait for each archiver in turn and print its exit status; exits with 3 when "
                "any archiver returned non-zero");
  CLI::App* exportCommand =
      app.add_subcommand("export", "write the settings file as JSON on standard output");
  CLI::App* import =
      app.add_subcommand("import", "read JSON on standard input and write it as a settings file");
  std::string importFile;
  import->add_option("OUT", importFile, "the settings file to write")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  try {
    if (*exportCommand) {
      // The file as stored: an output folder that it leaves out stays empty
      // here instead of taking the default, so that import gives the file back.
      TbkManager manager;
      manager.SetOutputPath("");
      Load(manager, settings);
      std::cout << DocumentToJson(manager).dump(2) << "\n";
      return 0;
    }
    if (*import) {
      Import(importFile);
      return 0;
    }
    TbkManager manager;
    Load(manager, settings);
    if (*show) Show(manager, settings);
    if (*commands) {
      for (const std::string& line : GetBatchLinesForAll(manager, all)) std::cout << line << "\r\n";
    }
    if (*bat) WriteBatchFile(batFile, GetBatchLinesForAll(manager));
    if (*run) return Run(manager, indexes, wait);
    return 0;
  } catch (const Exception& e) {
    std::cout.flush();
    std::cerr << "packetwright-cli: " << e.Message() << std::endl;
    return kFailed;
  }
}

}  // namespace pw

int main(int argc, char** argv) {
  pw::IgnoreFileSizeLimitSignal();
  return pw::Main(argc, argv);
}

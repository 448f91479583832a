#include "archiver/ArchiveJob.h"

#include "archiver/Dialect.h"

namespace pw {

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t last = path.find_last_of("/\\");
  return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace

TArchiverFamily ArchiverFamily(const std::string& exeFileName) {
  std::string name = LowerAscii(BaseName(exeFileName));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
    name.resize(name.size() - 4);
  }
  if (name == "7z" || name == "7zz" || name == "7za" || name == "7zr") {
    return TArchiverFamily::af7Zip;
  }
  if (name == "rar" || name == "winrar") return TArchiverFamily::afRar;
  if (name == "wzzip" || name == "winzip" || name == "winzip32" || name == "winzip64") {
    return TArchiverFamily::afWinZip;
  }
  return TArchiverFamily::afOther;
}

const char* ArchiveExtension(TArchiverFamily family) {
  switch (family) {
    case TArchiverFamily::af7Zip:
      return ".7z";
    case TArchiverFamily::afRar:
      return ".rar";
    case TArchiverFamily::afWinZip:
      return ".zip";
    case TArchiverFamily::afOther:
      break;
  }
  return "";
}

std::vector<std::string> SplitAt(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string ExpandHome(const std::string& path) {
  return Dialect().ExpandHome(path);
}

std::string PathProblem(const std::string& path) {
  if (path.empty()) return "The directory's path is empty";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "The directory's path holds a control character";
  }
  return Dialect().PathFormProblem(path);
}

std::string MaskProblem(const std::string& mask) {
  if (mask.empty()) return "The rule holds an empty mask";
  if (Dialect().MaskLeavesDirectory(mask)) {
    return "The mask '" + mask + "' leads out of the directory";
  }
  return {};
}

bool MaskUniqueInRule(const std::string& ext, const TbkExtension* extension,
                      const TbkExtensions* extensions) {
  if (Dialect().NamesIgnoreCase()) return IsExtensionUnique(ext, extension, extensions);
  for (int i = 0; i < extensions->Count(); ++i) {
    const TbkExtension* other = extensions->Items(i);
    if (other != extension && other->Ext() == ext) return false;
  }
  return true;
}

}  // namespace pw

// What a directory's job will take: its tree walked as the archiver walks it,
// with the job's masks applied as the job's archiver applies them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"

namespace pw {

// How the archiver matches masks against names.
enum class TMaskDialect {
  md7Zip,     // "*" and "?" only; case-sensitive in the POSIX style
  mdWindows,  // Windows wildcards, "*.*" matches every name; case-insensitive in
              // the Windows style
};

struct TPreviewMask {
  std::string mask;  // as the rule holds it
  int64_t files = 0;
  int64_t bytes = 0;
};

struct TPreviewFile {
  std::string path;  // relative to the directory, the style's separators
  int64_t bytes = 0;
  int mask = -1;  // the first mask (index into masks) that matched; -1 for none
};

struct TPreview {
  std::string directory;  // the folder walked ("~/" expanded)
  TMaskDialect dialect = TMaskDialect::md7Zip;
  // The archiver is none of the known ones (previewed with 7-Zip's rules),
  // RAR or WinZip in the POSIX style, or the parameters name a list file of
  // masks or an exclude switch 7-Zip does not read: the preview may differ
  // from the archive.
  bool approximate = false;
  bool excluding = false;  // the rule leaves the masks' files out
  // The rule's active masks, in its order. An including rule counts the files
  // each takes, an excluding rule the files each leaves out; a file counts
  // for the first mask that matched it or a folder above it.
  std::vector<TPreviewMask> masks;
  std::vector<TPreviewFile> files;  // what the job takes, in walk order
  int64_t totalFiles = 0;
  int64_t totalBytes = 0;
  bool cancelled = false;  // the walk was stopped; what was found so far
  std::string error;       // the job's error (a clash, an impossible path)
  // What the archiver will warn about or stumble over, one text each: folders
  // that cannot be read or entered, links that lead nowhere, links that lead
  // back into a folder above them (the archiver would follow those without
  // end), and links to a folder taken already (the archiver takes it once
  // more; the preview walks every folder once).
  std::vector<std::string> warnings;
};

// Called from the walking thread every few hundred files and for each
// warning; return false to stop.
using TPreviewProgress = std::function<bool(int64_t filesSoFar, const std::string& folder)>;

// One mask as the archiver reads it, relative to the directory: the leading
// folders without wildcards are fixed (they must be the path's first
// folders); the other parts match anywhere below them when recursive, right
// below them otherwise. A folder that matches takes everything in it.
struct TPreviewPattern {
  std::vector<std::string> fixed;
  std::vector<std::string> parts;
  bool recursive = true;
  bool forFiles = true;   // false for a mask that ends in a separator
  bool wildcards = true;  // false where the archiver matches names literally
  int mask = -1;          // the rule's mask it comes from; -1 for the job's own
};

// Everything a preview needs, copied out of the document on the thread that
// owns it, so that the walk can run on a worker thread while the document
// changes.
struct TPreviewRequest {
  TArchiveJob job;
  TMaskDialect dialect = TMaskDialect::md7Zip;
  bool approximate = false;
  // Approximate because the archiver's Windows rules are applied elsewhere.
  bool foreignRules = false;
  bool excluding = false;
  bool caseSensitive = true;
  char separator = '/';  // the style's, for the paths in the preview
  // 7-Zip's -snl: links are stored as links rather than followed.
  bool linksAsLinks = false;
  std::string root;                // the directory as the system names it
  std::vector<std::string> masks;  // the rule's active masks
  // What the archiver receives: a file is taken when an include matches it
  // (or a folder above it) and no exclude does. The job's own excludes come
  // first: a folder they drop is not entered. In the Windows dialect a
  // wildcard matches the names of files only.
  std::vector<TPreviewPattern> includes;
  std::vector<TPreviewPattern> excludes;
  // The longest path below the directory the system opens; 0 for no limit.
  size_t longestPath = 0;
  // What the masks themselves give to warn about, before the walk's own.
  std::vector<std::string> warnings;
};
// On the document's thread: reads the rule, the style and the parameters.
TPreviewRequest MakePreviewRequest(const TbkManager& manager, const TArchiveJob& job);

// Walks the job's directory and applies the masks as the job's archiver will.
// Never throws for what it finds in the tree (unreadable folders contribute
// nothing). Touches nothing but the request: safe on a worker thread.
TPreview Preview(const TPreviewRequest& request, const TPreviewProgress& progress = {});

// Whether a mask matches one name (no separators) in the dialect.
bool MaskMatchesName(std::string_view mask, std::string_view name, TMaskDialect dialect,
                     bool caseSensitive);

}  // namespace pw

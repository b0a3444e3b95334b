#pragma once
// Vented-box alignment tables (".ALN" text files in the "Alignments"
// folder): per loss Q, rows of Qts, compliance ratio a = Vas/Vb and tuning
// ratio h = fb/Fs rising in Qts. A unit's Qts picks one row per block (or
// the straight line between two), which the vented page offers by name.
#include <string>
#include <vector>

#include "resources/status.h"

namespace srx {

struct VentedAlignment {
    std::string name;  // "<title>  QL=<ql>"
    double ql = 0;
    double alpha = 0;  // Vas / Vb
    double h = 0;      // fb / Fs
};

// Entries a list takes at most, from all files together.
constexpr size_t kMaxVentedAlignments = 500;

// Appends the alignments of one file for `qts`. Lines are cut at CR/LF,
// trailing blanks, tabs and ';' dropped, leading blanks skipped; empty and
// ';' lines are comments. "Title" names the family, "Type" other than
// "Vented" ends the file, "QL" starts a block, and a block's data lines
// (three numbers separated by blanks, tabs or commas) give at most one
// entry: the first with Qts not below `qts`, taken as it is within 0.0002,
// otherwise interpolated from the line before (none without one). Lines
// that are too long, not finite, not positive or not rising in Qts are
// skipped. kStrCantOpen when the file cannot be read.
Status ReadAlignmentFile(const std::string& path, double qts, std::vector<VentedAlignment>& list);

// The "*.ALN" files of `folder` (any case of the extension), sorted by name;
// empty when the folder cannot be read.
std::vector<std::string> AlignmentFiles(const std::string& folder);

// Every file's alignments for `qts`, in the files' order.
std::vector<VentedAlignment> VentedAlignmentsFor(const std::string& folder, double qts);

}  // namespace srx

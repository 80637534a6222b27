// The tree a run's rows promise: a snapshot taken before the run with every successful row's
// entry moved to its new name, in the rows' order. Equal to the snapshot after the run means
// the rows tell exactly what was done.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/RecordingSink.h"

namespace tovana::test {

// `root` is the chosen folder's path as the rows begin with it (TempTree::path()).
std::map<std::string, std::string> RowsApplied(std::map<std::string, std::string> before,
                                               const std::string& root,
                                               const std::vector<Row>& rows);

// The rows tovana-cli printed on stdout (kind, TAB, old path, TAB, new name), up to the summary.
std::vector<Row> PrintedRows(const std::string& out);

// How tovana-cli's output ends when the run was stopped after these rows: the counts it gives
// must be the renames the rows tell.
std::string StoppedSummary(const std::vector<Row>& rows);

}  // namespace tovana::test

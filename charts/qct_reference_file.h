#pragma once
// Reference files: a chart header without tiles that names an original tiled chart kept on a
// removable disk, with the label of that disk; opening it brings the original in.
#include <string>

// Writes a reference file for the chart at `source` to `new_path` (replaced whole, never left
// half-written). False when the source is no chart that opens (a reference file itself
// included) or the file can't be written.
bool QctMakeReferenceFile(const std::string& source, const std::string& new_path);

// The label of the file system holding `path`; empty when it has none or it can't be read.
std::string VolumeLabelOf(const std::string& path);

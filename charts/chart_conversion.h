#pragma once
// Foreign map files turned into chart files through the converter plug-ins, into the folder of
// converted charts (setting "qct_dir"), and the chart reader's use of the converter for the
// original of a reference file that is no chart file itself.
#include <functional>
#include <string>

#include "charts/converter_plugins.h"

// The folder of converted charts: setting "qct_dir" ('/' separators, no trailing one), "./qct"
// when it is empty.
std::string ConvertedChartFolder();

// The file a chart was made from (its header's original file name, '/' separated); empty when
// the file is no chart or names none.
std::string ChartConvertedFrom(const std::string& chart);

// Converts `source` into the chart file `target` with the converter. A chart at `target` made
// from this very source (one with tiles, not a reference file) is used as it is. The plug-in writes to a temporary name beside the
// target, which replaces the target only when the conversion succeeded: a failing or
// half-finished conversion leaves no file behind and an older target as it was. A chart that
// names no original gets the source as its original. 0 on success,
// else the converter's nonzero result.
int ConvertChartFile(CConverterPlugins& converter, const std::string& source,
                     const std::string& target, bool interactive);

// Installs the chart readers' conversion (see chart_reader_services.h): the original of a
// reference file is converted into the reference file's place (ConvertChartFile), the plug-ins
// owned by `parent` (called at each conversion; 0 for none). Leaves the other services as they
// are.
void InstallChartReaderConverter(std::function<ConverterWindow()> parent);

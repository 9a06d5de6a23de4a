#pragma once
// The common dialogs: open and save file, folder, colour and font. The current Responder
// (responder.h) answers; each gives nothing when the user cancels.
//
// File filters come in the form the programs write them, pairs of description and patterns
// separated by '|', patterns by ';': "Charts (*.qct)|*.qct|All files (*.*)|*.*||".
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui/responder.h"

class QWidget;

namespace vd::ui {

// The toolkit's form of such a filter: "Charts (*.qct *.QCT);;All files (*)". Extension
// patterns match either case; "*.*" is every file.
std::string ToolkitFilter(const std::string& filter);

// filter_index, when given, is the filter shown first (counted from 1) and receives the one
// the user left chosen; it is unchanged on cancel.
std::optional<std::string> GetOpenFilePath(QWidget* owner, const std::string& title,
                                           const std::string& filter,
                                           const std::string& initial_path = "",
                                           int* filter_index = nullptr);
// A chosen name without an extension gets default_extension ("gpx" or ".gpx"), or rather,
// when there is one, the first extension of the filter the user left chosen.
std::optional<std::string> GetSaveFilePath(QWidget* owner, const std::string& title,
                                           const std::string& filter,
                                           const std::string& default_extension,
                                           const std::string& initial_path = "",
                                           int* filter_index = nullptr);
// The first extension of a filter's n-th pattern list (from 1): "gpx" for "*.gpx;*.xml"; ""
// for "*.*", "*" or a number out of range.
std::string FilterExtension(const std::string& filter, int index);
std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title,
                                        const std::string& initial_folder = "");
std::optional<ColourRef> ChooseColor(QWidget* owner, ColourRef initial);
std::optional<Font> ChooseFont(QWidget* owner, const Font& initial);

}  // namespace vd::ui

#include "platform/ui/common_dialogs.h"

#include <QString>
#include <algorithm>
#include <vector>

namespace vd::ui {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i; (i = text.find(separator, start)) != std::string::npos; start = i + 1) {
    parts.push_back(text.substr(start, i - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// One pattern, in its own, lower and upper case: names on disk may come in either.
void AppendPattern(std::string& out, const std::string& pattern) {
  std::vector<std::string> forms;
  if (pattern == "*.*" || pattern == "*") {
    forms = {"*"};
  } else {
    forms = {pattern};
    for (const QString& form : {QString::fromStdString(pattern).toLower(),
                                QString::fromStdString(pattern).toUpper()}) {
      const std::string text = form.toStdString();
      if (std::find(forms.begin(), forms.end(), text) == forms.end()) forms.push_back(text);
    }
  }
  for (const std::string& form : forms) out += (out.empty() ? "" : " ") + form;
}

}  // namespace

std::string ToolkitFilter(const std::string& filter) {
  std::vector<std::string> fields = Split(filter, '|');
  std::string out;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    std::string description = Trim(fields[i]);
    if (description.empty()) break;  // the closing "||"
    // The toolkit reads the patterns from the last parentheses: drop the ones shown already.
    if (description.back() == ')') {
      const size_t open = description.rfind('(');
      if (open != std::string::npos) description = Trim(description.substr(0, open));
    }
    std::string patterns;
    for (const std::string& pattern : Split(fields[i + 1], ';')) {
      if (!Trim(pattern).empty()) AppendPattern(patterns, Trim(pattern));
    }
    if (!out.empty()) out += ";;";
    out += description + " (" + patterns + ")";
  }
  return out;
}

std::string FilterExtension(const std::string& filter, int index) {
  const std::vector<std::string> fields = Split(filter, '|');
  const size_t field = 2 * static_cast<size_t>(index) - 1;
  if (index < 1 || field >= fields.size() || Trim(fields[field - 1]).empty()) return "";
  const std::string first = Trim(Split(fields[field], ';').front());
  if (!first.starts_with("*.") || first.size() < 3) return "";
  const std::string extension = first.substr(2);
  return extension.find_first_of("*?") == std::string::npos ? extension : "";
}

namespace {

std::optional<std::string> ChooseFilePath(QWidget* owner, bool save, const std::string& title,
                                          const std::string& filter,
                                          const std::string& initial_path, int* filter_index) {
  FileDialogRequest request{owner, save, title, ToolkitFilter(filter), initial_path};
  int chosen = filter_index ? *filter_index : 0;
  request.filter_index = chosen;
  request.chosen_filter_index = &chosen;
  std::optional<std::string> path = CurrentResponder().ChooseFile(request);
  if (path && filter_index) *filter_index = chosen;
  return path;
}

}  // namespace

std::optional<std::string> GetOpenFilePath(QWidget* owner, const std::string& title,
                                           const std::string& filter,
                                           const std::string& initial_path, int* filter_index) {
  return ChooseFilePath(owner, false, title, filter, initial_path, filter_index);
}

std::optional<std::string> GetSaveFilePath(QWidget* owner, const std::string& title,
                                           const std::string& filter,
                                           const std::string& default_extension,
                                           const std::string& initial_path, int* filter_index) {
  int chosen = filter_index ? *filter_index : 0;
  std::optional<std::string> path =
      ChooseFilePath(owner, true, title, filter, initial_path, &chosen);
  if (!path) return path;
  if (filter_index) *filter_index = chosen;
  // As the desktop's own save dialogs do: only a dialog with a default extension appends one.
  std::string extension =
      default_extension.starts_with('.') ? default_extension.substr(1) : default_extension;
  if (const std::string of_filter = FilterExtension(filter, chosen); !extension.empty() && !of_filter.empty())
    extension = of_filter;
  const size_t name = path->rfind('/') == std::string::npos ? 0 : path->rfind('/') + 1;
  if (!extension.empty() && path->find('.', name) == std::string::npos) {
    *path += "." + extension;
  }
  return path;
}

std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title,
                                        const std::string& initial_folder) {
  return CurrentResponder().ChooseFolder(owner, title, initial_folder);
}

std::optional<ColourRef> ChooseColor(QWidget* owner, ColourRef initial) {
  return CurrentResponder().ChooseColor(owner, initial);
}

std::optional<Font> ChooseFont(QWidget* owner, const Font& initial) {
  return CurrentResponder().ChooseFont(owner, initial);
}

}  // namespace vd::ui

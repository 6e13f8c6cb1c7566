#include "platform/ui/common_dialog.h"

#include <unistd.h>

#include <filesystem>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/ui/ui.h"

namespace bq::ui {

void FileDialog::show(bool save) {
  FileDialogRequest request;
  request.save = save;
  request.title = title_;
  request.filter = filter_;
  request.flags = flags_;
  request.fileName = fileName_;
  std::optional<std::string> chosen = backend().fileDialog(request);
  if (!chosen) {
    if (cancelError_) throw AutomationError(kCancelSelected, "CommonDialog", "Cancel was selected.");
    return;
  }
  fileName_ = *chosen;
  if (!(flags_ & cdlOFNNoChangeDir)) {
    std::filesystem::path folder = std::filesystem::path(*chosen).parent_path();
    if (!folder.empty()) (void)::chdir(folder.c_str());  // as the platform's dialog did; best effort
  }
}

std::vector<FilterItem> parseFilter(const std::string& filter) {
  std::vector<FilterItem> items;
  const std::vector<std::string> parts = split(filter, "|");
  for (size_t i = 0; i < parts.size(); i += 2) {
    FilterItem item;
    item.description = parts[i];
    if (i + 1 < parts.size()) {
      for (const std::string& p : split(parts[i + 1], ";")) {
        std::string pattern = trimSpaces(p);
        if (!pattern.empty()) item.patterns.push_back(pattern);
      }
    }
    if (item.patterns.empty()) item.patterns.push_back("*");
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace bq::ui

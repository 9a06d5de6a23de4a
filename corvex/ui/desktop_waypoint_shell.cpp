#include "corvex/ui/desktop_waypoint_shell.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace {
constexpr int kLargeIconSide = 32;
}  // namespace

std::optional<vd::ui::Image> CDesktopWaypointShell::FileIcon(const std::string& path) {
  if (path.empty()) return std::nullopt;
  QFileIconProvider provider;
  const QFileInfo info(QString::fromStdString(path));
  QIcon icon = info.exists() ? provider.icon(info) : QIcon();
  if (icon.isNull()) icon = provider.icon(QAbstractFileIconProvider::File);
  if (icon.isNull()) return std::nullopt;
  const QImage image = icon.pixmap(kLargeIconSide, kLargeIconSide)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return std::nullopt;
  return vd::ui::Image(image);
}

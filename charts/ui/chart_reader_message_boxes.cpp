#include "charts/ui/chart_reader_message_boxes.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <utility>

#include "charts/chart_reader_services.h"
#include "core/ui/message_boxes.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"

namespace {

// The id of the button pressed in an error box; run on the user-interface thread.
int ErrorBox(uint32_t buttons, const std::string& text) {
  const auto show = [&] {
    return FormatMessageBox(buttons | vd::ui::kMbIconError, "%s", text.c_str());
  };
  int pressed = vd::ui::kIdCancel;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return pressed;  // no user interface to ask
  if (QThread::currentThread() == app->thread()) return show();
  QMetaObject::invokeMethod(app, [&] { pressed = show(); }, Qt::BlockingQueuedConnection);
  return pressed;
}

}  // namespace

void InstallChartReaderMessageBoxes() {
  ChartReaderServices services = GetChartReaderServices();
  services.show_error = [](const std::string& text) { ErrorBox(vd::ui::kMbOk, text); };
  services.ask_retry = [](const std::string& text) {
    return ErrorBox(vd::ui::kMbRetryCancel, text) == vd::ui::kIdRetry;
  };
  SetChartReaderServices(std::move(services));
}

#include "charts/chart_file_task.h"

#include "charts/chart_reader_services.h"

void ChartFileTask::Error(const std::string& text) const {
  if (show_error) {
    show_error(text);
    return;
  }
  const ChartReaderServices services = GetChartReaderServices();
  if (services.show_error) services.show_error(text);
}

#include "charts/chart_reader_services.h"

#include <mutex>
#include <utility>

namespace {

std::mutex services_mutex;
ChartReaderServices installed_services;

}  // namespace

void SetChartReaderServices(ChartReaderServices services) {
  std::lock_guard lock(services_mutex);
  installed_services = std::move(services);
}

ChartReaderServices GetChartReaderServices() {
  std::lock_guard lock(services_mutex);
  return installed_services;
}

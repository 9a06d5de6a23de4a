#include "charts/chart_outline_catalogue.h"

namespace {
CSelectMapTypes::Persistant select_map_types_settings;
}  // namespace

CChartOutline* ChartCatalogue::FindOrAdd(const std::string& path) {
  if (CChartOutline* found = Find(path)) return found;
  auto record = std::make_unique<CChartOutline>();
  if (!record->ReadHeader(path) || record->scale == 0) return nullptr;
  return Insert(std::move(record));
}

CChartOutline* ChartCatalogue::Find(const std::string& path) const {
  for (const auto& [scale, record] : charts_) {
    if (record->path() == path) return record.get();
  }
  return nullptr;
}

CChartOutline* ChartCatalogue::Insert(std::unique_ptr<CChartOutline> record) {
  const double scale = record->scale;
  return charts_.emplace(scale, std::move(record))->second.get();
}

void ChartCatalogue::Remove(const CChartOutline* record) {
  for (auto it = charts_.begin(); it != charts_.end(); ++it) {
    if (it->second.get() != record) continue;
    if (open_chart_ == record) open_chart_ = nullptr;
    charts_.erase(it);
    return;
  }
}

CSelectMapTypes::Persistant::Persistant() : PersistantData("CSelectMapTypes") {}

void CSelectMapTypes::Persistant::Exchange() {
  ExchangeStringSet("show", show);
  if (!IsSaving() && show.empty()) show = DefaultShow();
  ExchangeBool("types_hint", types_hint);
  ExchangeBool("show_old_maps", show_old_maps);
  ExchangeInt("KVX_storage_option", KVX_storage_option);
}

CSelectMapTypes::Persistant& CSelectMapTypes::Settings() { return select_map_types_settings; }

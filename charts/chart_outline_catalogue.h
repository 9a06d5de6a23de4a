#pragma once
// The charts the chart views have met, one CChartOutline per chart file, ordered by scale:
// the most detailed chart (fewest nautical miles per pixel) first, charts of equal scale in the
// order they were added. Also the record of the chart a view has open, and the map-type filter
// settings of chart lists. User-interface thread only.
#include <map>
#include <memory>
#include <set>
#include <string>

#include "charts/chart_outline.h"
#include "core/persistant_data.h"

class ChartCatalogue {
 public:
  using Charts = std::multimap<double, std::unique_ptr<CChartOutline>>;

  ChartCatalogue() = default;
  virtual ~ChartCatalogue() = default;
  ChartCatalogue(const ChartCatalogue&) = delete;
  ChartCatalogue& operator=(const ChartCatalogue&) = delete;

  // The record whose path equals `path` (exact comparison); else the chart's header is read
  // and the record entered when it has a scale. Null for a file that gives none.
  CChartOutline* FindOrAdd(const std::string& path);
  // Takes this very record out and destroys it; the open chart is forgotten when it is this
  // one. A record not in the catalogue is left alone.
  void Remove(const CChartOutline* record);
  // Enters a record by its scale, after the records of equal scale.
  CChartOutline* Insert(std::unique_ptr<CChartOutline> record);
  // The record whose path equals `path`, or null.
  CChartOutline* Find(const std::string& path) const;

  const Charts& charts() const { return charts_; }
  CChartOutline* open_chart() const { return open_chart_; }
  // Set by the view when a chart opens (to a record of this catalogue), null when it closes.
  void SetOpenChart(CChartOutline* record) { open_chart_ = record; }

 protected:
  Charts charts_;
  CChartOutline* open_chart_ = nullptr;
};

// Which map types chart lists show, and hints of the chart lists.
struct CSelectMapTypes {
  struct Persistant : PersistantData {
    Persistant();
    // A read that leaves "show" empty puts the default types back; a write stores the set as
    // it is.
    void Exchange() override;

    std::set<std::string> show = DefaultShow();
    bool types_hint = false;
    bool show_old_maps = false;
    int KVX_storage_option = 1;

    static std::set<std::string> DefaultShow() { return {"Topo", "4WD", "Basemap"}; }
  };
  static Persistant& Settings();
};

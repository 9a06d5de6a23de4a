// The overlay explorer's tree opening on a document of 100,000 marks in 20 categories: the
// tree built from the object list (category items, one sorted batch of object items per
// category, box states) and closed again, against a plain QStandardItemModel filled with the
// same rows of text and check boxes and destroyed (goal: at most 3 x). Both run after one
// untimed tree has warmed the heap, and each result is the median of five repetitions.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStandardItemModel>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "corvex/ui/obj_explorer_tree.h"
#include "overlays/category.h"
#include "overlays/obj_waypoint.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kCategories = 20;

class BenchDocument : public COstrelDocBase {
 public:
  BenchDocument() {
    CCurrentOwnerScope owner(this);
    for (int i = 0; i < kObjects; ++i) {
      auto* mark = new CObjWaypoint;
      mark->AddRef();
      mark->name = "Mark " + std::to_string((i * 7919) % kObjects);
      mark->SetCategory("Category " + std::to_string(i % kCategories));
      objects.push_back(mark);
    }
  }
  ~BenchDocument() override {
    for (COstrelObject* object : ObjectList(objects)) object->Release();
  }
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }

  ObjectList objects;
};

BenchDocument& Document() {
  static BenchDocument* document = new BenchDocument;
  return *document;
}

void BM_ExplorerTreeOpens(benchmark::State& state) {
  BenchDocument& document = Document();
  for (auto _ : state) {
    CViewObjExplorerTree tree(document);
    benchmark::DoNotOptimize(tree.item_model()->rowCount());
  }
}
BENCHMARK(BM_ExplorerTreeOpens)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_PlainModelBaseline(benchmark::State& state) {
  BenchDocument& document = Document();
  for (auto _ : state) {
    QStandardItemModel model;
    std::vector<QStandardItem*> categories;
    for (int i = 0; i < kCategories; ++i) {
      auto* item = new QStandardItem(QString("Category %1").arg(i));
      item->setCheckable(true);
      item->setCheckState(Qt::Checked);
      model.appendRow(item);
      categories.push_back(item);
    }
    int i = 0;
    for (COstrelObject* object : document.objects) {
      auto* item = new QStandardItem(QString::fromStdString(object->name));
      item->setCheckable(true);
      item->setCheckState(Qt::Checked);
      categories[i++ % kCategories]->appendRow(item);
    }
    benchmark::DoNotOptimize(model.rowCount());
  }
}
BENCHMARK(BM_PlainModelBaseline)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  vd::bench::TimingReporter reporter;
  const auto prepare = [] {
    CViewObjExplorerTree tree(Document());
    return tree.item_model()->rowCount() == kCategories;
  };
  if (!vd::bench::RunBenchmarks(argc, argv, reporter, prepare)) return 1;
  const double tree = reporter.Time("BM_ExplorerTreeOpens");
  const double plain = reporter.Time("BM_PlainModelBaseline");
  if (tree > 0 && plain > 0) {
    std::printf("explorer tree of %d objects = %.2f x a plain item model (target <= 3.0)\n",
                kObjects, tree / plain);
  }
  return 0;
}

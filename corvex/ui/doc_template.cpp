#include "corvex/ui/doc_template.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>

#include "core/path_utils.h"
#include "corvex/chart_view_link.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ui/ostrel_app.h"
#include "platform/ui/message_box.h"

CMyDocTemplate::~CMyDocTemplate() = default;

COstrelDoc* FindOpenDocument() {
  COstrelApp* app = COstrelApp::Instance();
  if (!app) return nullptr;
  return app->first_template() ? app->first_template()->document() : nullptr;
}

COstrelDoc* CMyDocTemplate::OpenDocumentFile(const std::string& path, CChartFrameHost* frames) {
  // The program has one document.
  if (FindOpenDocument()) return nullptr;
  if (!path.empty() && !PathHasExtension(path, "vdn")) return nullptr;

  auto document = std::make_unique<COstrelDoc>();
  document->SetFrameHost(frames);
  // Downloads and conversions the document starts show their progress and errors over it.
  document->SetMainWindow(dynamic_cast<QWidget*>(frames));
  COstrelDoc* opened = document.get();
  document_ = std::move(document);
  bool ok;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ok = path.empty() ? opened->OnNewDocument() : opened->OnOpenDocument(path);
    QApplication::restoreOverrideCursor();
  }
  if (!ok) {
    document_.reset();
    return nullptr;
  }
  // Opening may already have made the chart frame of the stored view.
  if (opened->views().empty() && frames && !frames->CreateChartFrame()) {
    vd::ui::RunMessageBox(nullptr, "Failed to create document", "Corvex",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
    document_.reset();
    return nullptr;
  }
  return opened;
}

void CMyDocTemplate::DestroyDocument() { document_.reset(); }

#include "overlays/model/ui/mark_action_sheet.h"

#include "core/ui/message_boxes.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/ui/overlay_action_sheet.h"
#include "overlays/model/overlay_shell.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"

namespace {

COverlayMark& MarkOf(void* object) { return *static_cast<COverlayMark*>(object); }

void GoTo(void* object) {
  if (CMarkManager* manager = CMarkManager::Instance()) manager->SetTarget(&MarkOf(object));
}

void CancelNavigation(void*) {
  if (CMarkManager* manager = CMarkManager::Instance()) manager->ClearTarget();
}

void CreateRoute(void* object) {
  if (CMarkManager* manager = CMarkManager::Instance()) manager->CreateRouteFromMark(&MarkOf(object));
}

void OpenLink(void* object) { CMarkActionSheet::OpenLink(MarkOf(object)); }

void Delete(void* object) { CMarkActionSheet::AskDeleteMark(MarkOf(object)); }

constexpr COverlayActionSheet::Row kRows[] = {
    {"Go-To", GoTo},           {"Cancel Navigation", CancelNavigation},
    {"Create Route", CreateRoute}, {"Edit Mark", nullptr},
    {"Open Link", OpenLink},   {"Delete Mark", Delete},
};

}  // namespace

void CMarkActionSheet::OpenLink(const COverlayMark& mark) {
  if (COverlayShell* shell = COverlayShell::Get()) {
    shell->OpenLink(mark.link);
  } else {
    vd::os::OpenDocument(mark.link);
  }
}

void CMarkActionSheet::AskDeleteMark(COverlayMark& mark) {
  const std::string question = vd::os::FormatC("Delete%s Mark: \"%s\".\nAre you sure?",
                                               mark.keep ? " locked" : "", mark.name.c_str());
  AskYesNo(
      nullptr, &mark, "Delete Mark", question,
      [](void* context, int) {
        if (CMarkManager* manager = CMarkManager::Instance()) {
          manager->DeleteMark(static_cast<COverlayMark*>(context));
        }
      },
      nullptr);
}

std::unique_ptr<CActionSheetMenu> CMarkActionSheet::Build(COverlayMark& mark) {
  using Sheet = COverlayActionSheet;
  const uintptr_t states[] = {
      Sheet::ShownIf(!mark.is_target),  Sheet::ShownIf(mark.is_target),
      CActionSheetMenu::kRowShown,      CActionSheetMenu::kRowShown,
      Sheet::ShownIf(!mark.link.empty()), CActionSheetMenu::kRowDestructive,
  };
  return Sheet::Build(mark.name, kRows, states, &mark);
}

bool CMarkActionSheet::Open(COverlayMark& mark) {
  return COverlayActionSheet::Show(*Build(mark));
}

// The 3D viewer program. The chart program starts it after writing the start file; a viewer
// already running takes the file over and this one ends.
#include <QApplication>

#include <memory>

#include "lumex/ui/lumex_app.h"
#include "lumex/ui/lumex_view.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("lumex");
  QGuiApplication::setDesktopFileName("lumex");  // its desktop entry
  CLumexApp app([&app](CLumexDoc&) { return std::make_unique<CLumexView>(&app); });
  if (!app.InitInstance()) return 0;
  const int code = QApplication::exec();
  app.ExitInstance();
  return code;
}

// The 3D viewer program. The chart program starts it after writing the start file; a viewer
// already running takes the file over and this one ends.
#include <QApplication>

#include "lumex/ui/lumex_app.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("lumex");
  // This build has no 3D view: the frame opens empty.
  CLumexApp app(nullptr);
  if (!app.InitInstance()) return 0;
  const int code = QApplication::exec();
  app.ExitInstance();
  return code;
}

#pragma once
// The program's small logo, 76 x 17 pixels, drawn into the corner of every recorded video frame
// that shows the chart's copyright.
#include <QImage>

// Made once on first use (UI thread).
const QImage& LumexLogo();

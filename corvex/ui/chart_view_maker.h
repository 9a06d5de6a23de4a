#pragma once
// Makes the widget of a chart frame around a new chart view of the document.
#include <utility>

class CDocView;
class COstrelDoc;
class QWidget;

std::pair<QWidget*, CDocView*> MakeChartViewWidget(COstrelDoc& document);

#pragma once
// Installs the chart readers' message boxes (see charts/chart_reader_services.h): errors in an
// error box with OK, the missing original of a reference file in one with Retry and Cancel.
// The boxes show on the user-interface thread whichever thread opens the chart (a worker
// waits for the answer). Leaves the other services as they are.
void InstallChartReaderMessageBoxes();

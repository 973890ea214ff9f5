#include "MainWindow.h"

// Interim: arrives with the EDID data commands.
bool MainWindow::DoCalculateChkSum() { return false; }

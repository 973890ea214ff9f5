#include "MainWindow.h"

// Interim: arrives with the EDID data commands.
bool MainWindow::DoLoadEDIDfromFile() { return false; }
bool MainWindow::DoSaveEDIDtoFile() { return false; }

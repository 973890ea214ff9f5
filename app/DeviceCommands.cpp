#include "MainWindow.h"

// Interim: arrives with the device operations.
bool MainWindow::DoReadEDID() { return false; }
bool MainWindow::DoWriteEDID() { return false; }

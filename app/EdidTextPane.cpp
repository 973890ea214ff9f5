#include "MainWindow.h"

// Interim: the pane's hex text view arrives with the EDID data commands.
void MainWindow::ShowEDIDtext(const EdidImage *) {}
int MainWindow::ParseEDIDtext(EdidImage *) { return -1; }

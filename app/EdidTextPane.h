#pragma once

class MainWindow;

// The box every operation shows when the pane's text is not a whole EDID.
void showHexFormatError(MainWindow *window);

#pragma once

#include "ui_VarnexForm.h"

// The form object: pointers to the window's widgets, built from QT/forms/VarnexForm.ui.
class MainWindowForm : public Ui::MainWindow {};

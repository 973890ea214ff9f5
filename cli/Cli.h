#pragma once

#include <QStringList>

class Console;

// Runs the program with these arguments (the first is the program's name) and returns its exit
// code. Needs a QCoreApplication.
int runCli(const QStringList &arguments, Console &console);

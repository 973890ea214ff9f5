#pragma once

struct Run;
struct EdidImage;

// The commands of the command table (Cli.cpp). Each returns the program's exit code.
int runList(Run &run);
int runRead(Run &run);
int runWrite(Run &run);
int runCheck(Run &run);
int runFix(Run &run);
int runConvert(Run &run);
int runDiff(Run &run);
int runDecode(Run &run);
int runEdit(Run &run);
int runMerge(Run &run);
int runNew(Run &run);

// Prints what A and B say differently, field by field (diff --fields); exit status 1 when they
// differ.
int runFieldDiff(Run &run, const EdidImage &a, const EdidImage &b);

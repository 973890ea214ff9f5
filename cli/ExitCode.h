#pragma once

// What the program's exit status tells a script.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitDifference = 1,   // a check or a verification found a difference
    kExitBadInput = 2,     // bad usage, or an input that is not an EDID
    kExitNoTool = 3,       // no tool attached, or none this user may open
    kExitDeviceFailed = 4, // an exchange with the tool failed or got no answer
};

// `quillex build`: makes a self-extracting file from files and folders or
// from a ready ZIP archive, then checks it with the extraction engine.
#pragma once

extern const char BuildHelp[];

// Runs the command with the arguments after "build"; gives the exit status.
int BuildCommand(int argc, char** argv);

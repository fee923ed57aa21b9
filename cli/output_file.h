// A file the command line writes beside its output (the log, the plot):
// opened in binary mode, every write and the close checked, and one message
// naming the file and the first failure.
#pragma once
#include <cstdio>
#include <string>

struct OutputFile {
    FILE* file = nullptr;
    std::string path;
    const char* what = "";  // as the message names it: "log", "plot"
    int error = 0;          // errno of the first failed write; 0 while none failed
};

// Creates or truncates path; false, with the message, when it cannot.
bool openOutputFile(OutputFile& out, const std::string& path, const char* what);
// Appends text and hands it to the system; a failure is kept for the close.
void writeOutputFile(OutputFile& out, const std::string& text);
// Closes an open file; false, with the message, when a write or the close failed.
bool closeOutputFile(OutputFile& out);

#pragma once

#include <QStringList>

// quilton-batch: the folder batch without any window. Parses the command line
// (BatchCommandLine), checks the input, the JPEG library and the output folder
// before writing anything, then turns the pictures into tile files, several
// pictures at a time, with the same steps as the batch window.
namespace BatchCli {

// Runs the command line (the arguments after the program name) and returns
// the exit status: 0 all done, 1 some inputs unreadable, 2 usage error or
// output that cannot be written. Messages go to stderr, --help to stdout.
// Needs a QCoreApplication (the program folder is where SaveJPG.so may lie).
int run(const QStringList& arguments);

// Arguments reach run() as text; a file or folder name that is no UTF-8 text
// would arrive changed and name another file. Returns 2 after saying which
// argument it is, 0 when all are text. Call before anything else.
int refuseUndecodableArguments(int argc, char** argv);

} // namespace BatchCli

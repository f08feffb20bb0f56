#pragma once
// The "compile" command's front end.
#include <ostream>

// argv[0] is the program, argv[1] is ignored (the dispatcher empties it), the compile arguments follow:
//   -d  print the compiler's documentation       -s  silent: nothing on the console but -d's text
//   -bPATH  write the build log to PATH          -pPATH  output folder     -oPATH  output library file
//   -iPATH  an include folder (may repeat)       PATH    the source file
// Returns the number of errors; 0 means the library was written.
int GSCompilerMain(int argc, const char* const* argv);
// The same, with the console output going to `console`.
int GSCompilerMain(int argc, const char* const* argv, std::ostream& console);

// The text that -d prints.
const char* GSCompilerDocumentation();

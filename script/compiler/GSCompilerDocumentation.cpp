#include "script/compiler/GSCompilerMain.h"

// Printed by "compile -d". Kept in step with what the scanner and the structure check accept.
const char* GSCompilerDocumentation()
{
    return R"(Velmar script compiler
======================

What it does
  The compiler reads a script source (.gs plain, .gse encoded), follows its include statements, checks
  the text at the lexical level and the structure of its brackets, and packs the checked token stream of
  the source and of every included file into a script library (.gsl). It does not translate statements
  into code and does not check names, types or statement forms.

Usage
  VelmarUtil compile [options] <PATH>
    -d        print this text
    -s        silent: print nothing else on the console
    -bPATH    write the build log (every error and the error count) to PATH
    -pPATH    folder for the library (made when missing)
    -oPATH    file name of the library (inside the -p folder when it is relative and -p is given)
    -iPATH    a further folder to look for include files in; may be given more than once
  Without -o the library is named after the source with the extension .gsl. The command's result is
  the number of errors; no library is written when there is any.

Lexical level
  Blanks and line ends separate tokens. Comments: // to the end of the line, and /* ... */ which may
  span lines but does not nest.
  Identifiers: a letter or _ followed by letters, digits and _ (at most 255 characters).
  Numbers: decimal 123, hexadecimal 0x7F, and decimal fractions and exponents 1.5, .5, 2e10, 1.5E-3
  (at most 255 characters). A number run into letters (12ab) is an error.
  Strings: "..." on one line; a backslash escapes the character after it, so \" and \\ stand for " and \
  (at most 65535 bytes). Bytes above 127 may appear in strings and comments only.
  Operators: == != <= >= && || ++ -- += -= *= /= %= &= |= ^= << >> -> :: and the single characters
  + - * / % = < > ! & | ^ ~ ? : ; , . @ #
  Brackets: ( ) [ ] { }

Structure
  Brackets must balance and pair up: ( with ), [ with ], { with }; they may nest up to 256 levels.
  include "file.gs"   names a file whose text is checked and packed too. It must stand outside all
  brackets and be followed by a quoted name. The file is looked for beside the file that includes it,
  then in the -i folders in order; when a name ending in .gs is not found, the encoded .gse file of
  the same name is taken. A file included twice is taken once; an include cycle is an error. Includes
  nest up to 32 levels.

Errors
  Each error is printed as   file(line) : message
  Lexical errors are all reported; the structural check of a file stops at its first structural error.
)";
}

#pragma once
#include <QString>

// What a file of the program is, which decides where an installed program
// keeps it.
enum TFileKind : int {
  fkProgram, // another program (the sibling browser)
  fkLibrary, // a library loaded at run time
  fkData,    // help texts, documentation, the start image
};

// The folder the installed layout keeps files of Kind in, relative to the
// program's folder ("." for programs, which share it).
QString InstalledFolder(TFileKind Kind);

// The running program's folder, with its trailing separator.
QString ApplicationFolder();

// The file RelativeName of the program whose folder is ProgramDir (with its
// trailing separator): beside the program when it is there, as in the build
// tree; else in the installed folder for Kind when it is there; else the
// place beside the program, so that a missing file is reported where it
// always was.
QString FindProgramFile(const QString& ProgramDir, const QString& RelativeName, TFileKind Kind);

// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: morphane [-h|--help] [-v|--version] [DATEI|ORDNER].
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

struct TCommandLine {
  bool Ok = true;
  QString Error; // German, when !Ok
  QString Path;  // the picture or folder to open at start; empty for none
  bool Help = false;
  bool Version = false;
};

// Declares the program's description, its options and its arguments on parser.
void DescribeCommandLine(QCommandLineParser& parser);

// Reads arguments (with the program's name first, as QCoreApplication::arguments() gives them).
// Help and Version are set even when something else on the line is wrong.
TCommandLine ParseCommandLine(const QStringList& arguments);

// The text of --help, in German. Needs the application object (for the translated headings).
QString CommandLineHelp();
// The text of --version: "Morphane 2.0" and the build's version.
QString VersionText();

// Puts QCommandLineParser's own texts (headings, error messages) into German, also where Qt's
// translations are not installed. Needs the application object; once is enough.
void InstallCommandLineTranslator();

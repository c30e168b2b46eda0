// The program's command line: morphane [DATEI|ORDNER].
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

struct TCommandLine {
  bool Ok = true;
  QString Error; // German, when !Ok
  QString Path;  // the picture or folder to open at start; empty for none
};

// Declares the program's description and its arguments on parser (options are added here too).
void DescribeCommandLine(QCommandLineParser& parser);

// Reads arguments (with the program's name first, as QCoreApplication::arguments() gives them).
TCommandLine ParseCommandLine(const QStringList& arguments);

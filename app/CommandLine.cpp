#include "CommandLine.h"

void DescribeCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral("Porträtfotos spielerisch verformen, speichern und drucken."));
  parser.addPositionalArgument(QStringLiteral("DATEI|ORDNER"),
                               QStringLiteral("Ein Bild, das beim Start geöffnet wird, oder ein Ordner, "
                                              "der auf der Seite \u201EMotiv laden\u201C gezeigt wird."),
                               QStringLiteral("[DATEI|ORDNER]"));
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  DescribeCommandLine(parser);
  TCommandLine result;
  if (!parser.parse(arguments)) {
    result.Ok = false;
    result.Error = parser.errorText();
    return result;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) {
    result.Ok = false;
    result.Error = QStringLiteral("Es kann nur ein Bild oder ein Ordner angegeben werden.");
    return result;
  }
  if (!positional.isEmpty()) result.Path = positional.front();
  return result;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "morphane_version.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTranslator>

#include <utility>

namespace {

const QCommandLineOption& HelpOption() {
  static const QCommandLineOption option({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("Zeigt diese Hilfe und endet."));
  return option;
}

const QCommandLineOption& VersionOption() {
  static const QCommandLineOption option({QStringLiteral("v"), QStringLiteral("version")},
                                         QStringLiteral("Zeigt die Version und endet."));
  return option;
}

// The texts of QCommandLineParser that the program's command line can show.
class TCommandLineTranslator : public QTranslator {
public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* sourceText, const char* = nullptr, int = -1) const override {
    if (qstrcmp(context, "QCommandLineParser") != 0) return {};
    static const std::pair<const char*, const char*> kTexts[] = {
        {"Usage: %1", "Aufruf: %1"},
        {"[options]", "[Optionen]"},
        {"Options:", "Optionen:"},
        {"Arguments:", "Argumente:"},
        {"Unknown option '%1'.", "Unbekannte Option \u201E%1\u201C."},
        {"Unknown options: %1.", "Unbekannte Optionen: %1."},
        {"Missing value after '%1'.", "Nach \u201E%1\u201C fehlt ein Wert."},
        {"Unexpected value after '%1'.", "Nach \u201E%1\u201C ist kein Wert erlaubt."},
    };
    for (const auto& [english, german] : kTexts)
      if (qstrcmp(sourceText, english) == 0) return QString::fromUtf8(german);
    return {};
  }
};

} // namespace

void DescribeCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral("Porträtfotos spielerisch verformen, speichern und drucken."));
  parser.addOption(HelpOption());
  parser.addOption(VersionOption());
  parser.addPositionalArgument(QStringLiteral("DATEI|ORDNER"),
                               QStringLiteral("Ein Bild, das beim Start geöffnet wird, oder ein Ordner, "
                                              "der auf der Seite \u201EMotiv laden\u201C gezeigt wird."),
                               QStringLiteral("[DATEI|ORDNER]"));
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  DescribeCommandLine(parser);
  TCommandLine result;
  const bool parsed = parser.parse(arguments);
  result.Help = parser.isSet(HelpOption());
  result.Version = parser.isSet(VersionOption());
  if (!parsed) {
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

QString CommandLineHelp() {
  QCommandLineParser parser;
  DescribeCommandLine(parser);
  return parser.helpText() + QStringLiteral("\nMehr in der Handbuchseite: man morphane\n");
}

QString VersionText() {
  return QStringLiteral("Morphane 2.0\nVersion " MORPHANE_BUILD_VERSION ", Qt %1\n"
                        "Copyright (C) 2026 die Entwickler von Morphane\n"
                        "Lizenz GPLv3+: GNU GPL Version 3 oder neuer <https://gnu.org/licenses/gpl.html>.\n"
                        "Dies ist freie Software: Sie dürfen sie ändern und weitergeben.\n"
                        "Es gibt KEINE GARANTIE, soweit gesetzlich zulässig.\n")
      .arg(QString::fromLatin1(qVersion()));
}

void InstallCommandLineTranslator() {
  // Owned by the application object: a later application object gets a translator of its own.
  static QPointer<TCommandLineTranslator> translator;
  if (!translator.isNull() || QCoreApplication::instance() == nullptr) return;
  translator = new TCommandLineTranslator(QCoreApplication::instance());
  QCoreApplication::installTranslator(translator);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's own options: help and version win over everything else on the line, and
// the texts are German also where Qt's translations are missing.
#include "CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLineOptions, HelpAndVersionAreSeenBesideWrongOptions) {
  const TCommandLine help = ParseCommandLine({"morphane", "-platform", "xcb", "--help"});
  EXPECT_TRUE(help.Help);
  EXPECT_FALSE(help.Ok);
  EXPECT_TRUE(ParseCommandLine({"morphane", "-v"}).Version);
  EXPECT_TRUE(ParseCommandLine({"morphane", "-h", "a.png", "b.png"}).Help);
  const TCommandLine plain = ParseCommandLine({"morphane", "bild.png"});
  EXPECT_TRUE(plain.Ok && !plain.Help && !plain.Version);
}

TEST(CommandLineOptions, TextsAreGerman) {
  InstallCommandLineTranslator();
  const QString help = CommandLineHelp();
  EXPECT_TRUE(help.startsWith("Aufruf: ")) << help.toStdString();
  EXPECT_TRUE(help.contains("\nOptionen:\n") && help.contains("\nArgumente:\n") && help.contains("DATEI|ORDNER"));
  EXPECT_TRUE(ParseCommandLine({"morphane", "--gibtsnicht"}).Error.startsWith("Unbekannte Option"));
  EXPECT_TRUE(VersionText().startsWith("Morphane 2.0\nVersion 2.0"));
  EXPECT_TRUE(VersionText().contains("\nLizenz GPLv3+: GNU GPL Version 3 oder neuer <https://gnu.org/licenses/gpl.html>.\n"));
}

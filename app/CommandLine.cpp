#include "app/CommandLine.h"

#include "common/Interaction.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

const char *const HelpText = R"(Aufruf: quellwerk [Optionen]

Quellwerk verwaltet das Schema von MySQL- und MariaDB-Servern: Datenbanken,
Tabellen und Felder, in drei Listen nebeneinander. Die Verbindung wählen Sie
im Programm mit „Verbinden...“.

Optionen:
  -h, --help     Zeigt diese Hilfe an.
  -v, --version  Zeigt Namen und Version des Programms an.

Dazu versteht Quellwerk die Optionen von Qt, etwa -platform NAME oder
-style NAME. Mehr dazu in „man quellwerk“.
)";

// The options that QApplication and its platform plugins read themselves;
// the parser only has to let them (and their values) pass.
struct QtOption {
  const char *name;
  bool takesValue;
};
constexpr QtOption QtOptions[] = {{"platform", true},
                                  {"platformpluginpath", true},
                                  {"platformtheme", true},
                                  {"plugin", true},
                                  {"qwindowgeometry", true},
                                  {"geometry", true},
                                  {"qwindowtitle", true},
                                  {"title", true},
                                  {"qwindowicon", true},
                                  {"icon", true},
                                  {"session", true},
                                  {"style", true},
                                  {"stylesheet", true},
                                  {"display", true},
                                  {"name", true},
                                  {"visual", true},
                                  {"qmljsdebugger", true},
                                  {"reverse", false},
                                  {"widgetcount", false},
                                  {"testability", false},
                                  {"nograb", false},
                                  {"dograb", false},
                                  {"sync", false}};

void Print(std::FILE *stream, const QString &text) {
  std::fputs(text.toUtf8().constData(), stream);
  std::fflush(stream);
}

// The argument as it was typed for an option the parser names without its dashes.
QString AsTyped(const QStringList &arguments, const QString &name) {
  for (const QString &argument : arguments) {
    const qsizetype dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
    if (argument.startsWith(QLatin1Char('-')) &&
        argument.mid(dashes).section(QLatin1Char('='), 0, 0) == name)
      return argument;
  }
  return name;
}

int Refuse(const QString &why) {
  Print(stderr, QStringLiteral("quellwerk: %1 („quellwerk --help“ zeigt die Optionen)\n").arg(why));
  return 2;
}

} // namespace

std::optional<int> HandleCommandLine(int argc, char *argv[]) {
  if (argc <= 1)
    return std::nullopt;
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  // Qt's options are written with one dash: "-platform" is one option, not eight.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  for (const QtOption &qt : QtOptions) {
    QCommandLineOption option(QString::fromLatin1(qt.name));
    if (qt.takesValue)
      option.setValueName(QStringLiteral("wert"));
    parser.addOption(option);
  }

  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
      return Refuse(
          QStringLiteral("Unbekannte Option „%1“").arg(AsTyped(arguments, unknown.first())));
    // The only other failure: an option that needs a value stands last.
    return Refuse(QStringLiteral("Der Option „%1“ fehlt ein Wert").arg(arguments.last()));
  }
  if (parser.isSet(help)) {
    Print(stdout, QString::fromUtf8(HelpText));
    return 0;
  }
  if (parser.isSet(version)) {
    Print(stdout, ProductTitle + QLatin1Char('\n'));
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return Refuse(QStringLiteral("Unerwartetes Argument „%1“: Quellwerk öffnet keine Dateien")
                      .arg(parser.positionalArguments().first()));
  return std::nullopt;
}

// quellwerk-saved-connection HOST USER PASSWORD PORT [OLD-PORT]
//
// Makes sure that Quellwerk's connection dialog lists a saved connection to
// HOST:PORT as USER: a saved row to OLD-PORT with the same host, user and
// password is moved to PORT, otherwise a missing row is added. The other
// rows stay as they are. Built beside the quellwerk executable, so that it
// finds options.dat where the program does. Used by scripts/run.
#include "connection/SavedConnections.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() < 4 || args.size() > 5) {
    std::fputs("usage: quellwerk-saved-connection HOST USER PASSWORD PORT [OLD-PORT]\n", stderr);
    return 2;
  }
  const SavedConnection wanted{args[0], args[1], args[2], args[3]};
  const QString oldPort = args.value(4);

  // Through the program's own store, so that a running Quellwerk's rows are
  // merged, not overwritten.
  SavedConnectionsStore store;
  const SavedConnectionsStore::Result loaded = store.load();
  if (!loaded.errors.isEmpty()) {
    for (const QString &error : loaded.errors)
      std::fprintf(stderr, "%s.\n", qPrintable(error));
    std::fprintf(stderr, "%s is left as it is.\n", qPrintable(store.file()));
    return 1;
  }
  QList<SavedConnection> rows = loaded.rows;
  if (rows.contains(wanted))
    return 0;
  bool moved = false;
  for (SavedConnection &row : rows)
    if (!oldPort.isEmpty() && row.host == wanted.host && row.user == wanted.user &&
        row.password == wanted.password && row.port == oldPort) {
      row.port = wanted.port;
      moved = true;
    }
  if (!moved)
    rows.append(wanted);
  const SavedConnectionsStore::Result saved = store.save(rows);
  for (const QString &error : saved.errors)
    std::fprintf(stderr, "%s.\n", qPrintable(error));
  if (!saved.notice.isEmpty())
    std::fprintf(stderr, "%s\n", qPrintable(saved.notice));
  return saved.saved ? 0 : 1;
}

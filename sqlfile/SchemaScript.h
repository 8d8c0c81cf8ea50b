// The file that "Struktur exportieren..." writes: a database's structure as
// SQL that loads into an empty database (with "SQL-Datei ausführen..." or
// the mariadb client), in an order that loads. The server's own CREATE
// texts, each made in the session the server recorded for it.
#pragma once

#include "clientlib/SchemaExport.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The objects in the order the file creates them: sequences and tables by
// name (foreign keys are not checked during the load, so the tables need no
// order of their own); functions and procedures, each by name, before the
// views that may call them; views after the views they use; triggers by
// table, in the order the server runs them; events by name.
QList<SchemaObject> LoadOrder(const QList<SchemaObject> &objects);

// The whole file. It switches foreign-key checks off for the load and on
// again at its end, reads its texts as utf8mb4 and its time stamps as UTC,
// and leaves the session's settings as it found them.
QByteArray SchemaScript(const SchemaRead &schema, const QString &database, const QString &producer);

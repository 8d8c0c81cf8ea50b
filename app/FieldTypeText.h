// The text that the field list shows in its "Typ" column for one column of a
// table, made from the client library's field description: the type name,
// the length and decimals, and the key marks. Display only.
#pragma once

#include "clientlib/mysql.h"

#include <QString>

QString FieldTypeName(unsigned int typeCode);
QString FieldTypeText(unsigned int type, unsigned long length, unsigned int decimals,
                      unsigned int flags);
// The same for a field as the client library lists it: what the field list
// shows, and what a command compares with it before it sends.
QString FieldTypeText(const MYSQL_FIELD &field);

// The text that the field list shows in its "Typ" column for one column of a
// table, made from the client library's field description: the type name,
// the length and decimals, and the key marks. Display only.
#pragma once

#include <QString>

QString FieldTypeName(unsigned int typeCode);
QString FieldTypeText(unsigned int type, unsigned long length, unsigned int decimals,
                      unsigned int flags);

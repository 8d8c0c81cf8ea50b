// Passwords in memory: their characters are overwritten before the memory
// that held them is given back, so that a password does not linger in freed
// memory once nothing needs it any more.
#pragma once

class QByteArray;
class QString;

// Overwrites the characters of `text` with zeros, the whole allocation with
// what an edit left beyond its end, and empties `text`. Characters that
// another string still shares are only let go: their last holder is the one
// to overwrite them.
void WipeText(QString &text);
void WipeBytes(QByteArray &bytes);
// Overwrites bytes whatever shares them: for a copy that a library keeps
// and will not read again (a finished keyring job's answer).
void WipeSharedBytes(const QByteArray &bytes);
// The same for a C string in memory the program does not own (the client
// library's copy of a password).
void WipeCharacters(char *text);

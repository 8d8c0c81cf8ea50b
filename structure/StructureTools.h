// Controls shared by the structure window and its dialogs.
#pragma once

#include <QStringList>

struct ServerCatalog;
class BitBtnXP;
class QComboBox;
class QDialog;
class QHBoxLayout;
class QLabel;
class QTreeWidget;
class QWidget;

// A list in report mode: whole rows, one selected at most, no editing, no
// tree decoration. Cells are plain text.
QTreeWidget *MakeReportList(QWidget *parent, const QStringList &headers,
                            const QString &accessibleName);

// A label for `buddy` (its mnemonic moves the focus there); the buddy's
// accessible name is the label's text.
QLabel *MakeBuddyLabel(const QString &caption, QWidget *buddy, QWidget *parent);

// "OK" (Enter) and "Abbrechen" (Escape) of a dialog, centred in a row.
QHBoxLayout *MakeOkCancelRow(QDialog *dialog, BitBtnXP *&ok, BitBtnXP *&cancel);

// The selected row of a list, or -1.
int SelectedRow(const QTreeWidget *list);

// Whether a name fits the server (at most 64 characters); if not, says so in
// front of `dialog`. A longer name is never cut short behind the user's back.
bool NameFitsOrSaySo(QWidget *dialog, const QString &name);

// A box's entries carry the names (data) that the texts show: chooses the
// entry of `name`, adding it when the box lacks it; the chosen name.
void ChooseEntry(QComboBox *box, const QString &name);
QString ChosenEntry(const QComboBox *box);
// Fills a box with the server's character sets and chooses `chosen`.
void FillCharacterSets(QComboBox *box, const ServerCatalog &catalog, const QString &chosen);
// Fills a box with the collations of a character set, marking the table's
// default, and chooses `chosen` (empty: the character set's default).
void FillCollations(QComboBox *box, const ServerCatalog &catalog, const QString &characterSet,
                    const QString &chosen, const QString &tableCollation);

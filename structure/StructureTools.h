// Controls shared by the structure window and its dialogs.
#pragma once

#include <QStringList>

class BitBtnXP;
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

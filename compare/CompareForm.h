// The result of comparing two databases A and B: what differs, grouped, with
// both sides; the steps that make B equal to A, each to choose (those that
// may lose data not chosen at first); and the whole script of the chosen
// steps, which "Ausführen" runs and "Speichern..." writes to a file. After a
// run the window compares again and shows what is left.
#pragma once

#include "common/BitBtnXP.h"
#include "common/Interaction.h"
#include "compare/ComparisonScript.h"

#include <QDialog>

#include <functional>
#include <optional>

class ServerSession;
class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// How the window names the two sides: the database and its server, or the
// file; and which connection the script, which changes B, runs on.
struct ComparisonSides {
  QString a, b;
  // The script runs on a connection of the comparison's own, not the
  // program's: its loss ends the script, not the program's connection.
  bool ownConnection = false;
};

class TCompareForm : public QDialog {
  Q_OBJECT
public:
  // `compareAgain` reads both databases anew; nothing when that failed (the
  // user was told).
  using Recompare = std::function<std::optional<SchemaComparison>()>;
  // The script runs on `session`.
  TCompareForm(ServerSession &session, ComparisonSides sides, const SchemaComparison &comparison,
               Recompare compareAgain, QWidget *parent);

  QLabel *SummaryLabel;
  QLabel *ChangesLabel; // which database on which server the script changes
  QTreeWidget *DifferenceList;
  QTreeWidget *StepList;
  QPlainTextEdit *ScriptText;
  QLabel *RunLabel;
  BitBtnXP *RunBtn;
  BitBtnXP *SaveBtn;
  BitBtnXP *CancelBtn;

  const SchemaComparison &comparison() const { return m_comparison; }
  // The statements of the steps chosen now, as the script shows them.
  QList<ComparisonStatement> ChosenScript() const;
  // Whether a statement reached the server.
  bool sent() const { return m_sent; }
  // What ended the command while the window was open (the program's
  // connection lost during a run), thrown again once it has closed.
  void rethrowStop() const { m_stop.rethrow(); }

public slots:
  void RunBtnClick();
  void SaveBtnClick();

private:
  void Show(const SchemaComparison &comparison);
  void ShowScript();
  QList<bool> chosen() const;

  ServerSession &m_session;
  ComparisonSides m_sides;
  SchemaComparison m_comparison;
  Recompare m_compareAgain;
  bool m_sent = false;
  DialogStop m_stop{this};
};

// The result of comparing two databases A and B: what differs, grouped, with
// both sides; the steps that make B equal to A, each to choose (those that
// may lose data not chosen at first); and the whole script of the chosen
// steps, which "Ausführen" runs and "Speichern..." writes to a file. After a
// run the window compares again and shows what is left.
#pragma once

#include "common/BitBtnXP.h"
#include "compare/ComparisonScript.h"

#include <QDialog>

#include <functional>
#include <optional>

class ServerSession;
class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

class TCompareForm : public QDialog {
  Q_OBJECT
public:
  // `compareAgain` reads both databases anew; nothing when that failed (the
  // user was told).
  using Recompare = std::function<std::optional<SchemaComparison>()>;
  TCompareForm(ServerSession &session, const SchemaComparison &comparison, Recompare compareAgain,
               QWidget *parent);

  QLabel *SummaryLabel;
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

public slots:
  void RunBtnClick();
  void SaveBtnClick();

private:
  void Show(const SchemaComparison &comparison);
  void ShowScript();
  QList<bool> chosen() const;

  ServerSession &m_session;
  SchemaComparison m_comparison;
  Recompare m_compareAgain;
  bool m_sent = false;
};

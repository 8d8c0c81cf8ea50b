#include "compare/CompareForm.h"

#include "common/Interaction.h"
#include "compare/ComparisonRun.h"
#include "connection/SavedConnections.h"
#include "sqlfile/ProgressWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

using Kind = SchemaDifference::Kind;
using Area = SchemaDifference::Area;

// A cell holds one line; the whole text is its tooltip, as plain text (a
// name like "<b>" shows as those characters, never as markup).
void SetCell(QTreeWidgetItem *item, int column, const QString &text) {
  item->setText(column, text.isEmpty()
                            ? QStringLiteral("(leer)")
                            : QString(text).replace(QLatin1Char('\n'), QStringLiteral(" ⏎ ")));
  item->setToolTip(
      column, QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(text.toHtmlEscaped()));
}

QLabel *MakeLabel(const QString &text, QWidget *parent) {
  auto *label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

BitBtnXP *MakeButton(const QString &caption, QStyle::StandardPixmap glyph, QWidget *parent) {
  auto *button = new BitBtnXP(caption, BitBtnXP::Kind::Custom, parent);
  button->setGlyph(glyph);
  button->setAutoDefault(false);
  return button;
}

// The group of a difference in the list, and where the group stands: the
// database itself, the tables that only one side has, each table that both
// have, views, triggers.
std::pair<int, QString> GroupOf(const SchemaDifference &d, const ComparisonSides &sides) {
  switch (d.area) {
  case Area::Database: return {0, QStringLiteral("Datenbank")};
  case Area::View: return {4, QStringLiteral("Sichten")};
  case Area::Trigger: return {5, QStringLiteral("Trigger")};
  case Area::Table: break;
  }
  if (!d.detail.isEmpty())
    return {3, d.object};
  return d.kind == Kind::OnlyInA ? std::pair(1, QStringLiteral("Tabellen nur in %1").arg(sides.a))
                                 : std::pair(2, QStringLiteral("Tabellen nur in %1").arg(sides.b));
}

} // namespace

TCompareForm::TCompareForm(ServerSession &session, ComparisonSides sides,
                           const SchemaComparison &comparison, Recompare compareAgain,
                           QWidget *parent)
    : QDialog(parent), m_session(session), m_sides(std::move(sides)),
      m_compareAgain(std::move(compareAgain)) {
  setObjectName(QStringLiteral("CompareForm"));
  setWindowTitle(QStringLiteral("Vergleich von %1 mit %2").arg(m_sides.a, m_sides.b));
  setSizeGripEnabled(true);

  // What changes stands first, in bold: a script on the wrong server would
  // be hard to undo.
  ChangesLabel = MakeLabel(
      QStringLiteral("Das Skript ändert %1 – es macht sie gleich %2.").arg(m_sides.b, m_sides.a),
      this);
  QFont bold = ChangesLabel->font();
  bold.setBold(true);
  ChangesLabel->setFont(bold);
  SummaryLabel = MakeLabel({}, this);
  DifferenceList = new QTreeWidget(this);
  DifferenceList->setHeaderLabels({QStringLiteral("Unterschied"),
                                   QStringLiteral("In %1").arg(m_sides.a),
                                   QStringLiteral("In %1").arg(m_sides.b)});
  DifferenceList->setAccessibleName(QStringLiteral("Unterschiede"));
  DifferenceList->setUniformRowHeights(true);
  DifferenceList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DifferenceList->setAllColumnsShowFocus(true);

  StepList = new QTreeWidget(this);
  StepList->setHeaderHidden(true);
  StepList->setRootIsDecorated(false);
  StepList->setUniformRowHeights(true);
  auto *stepsLabel =
      MakeLabel(QStringLiteral("Schritte, die %1 gleich %2 machen (was Daten löschen "
                               "kann, ist nicht gewählt):")
                    .arg(m_sides.b, m_sides.a),
                this);
  stepsLabel->setBuddy(StepList);
  StepList->setAccessibleName(QStringLiteral("Schritte"));

  ScriptText = new QPlainTextEdit(this);
  ScriptText->setReadOnly(true);
  ScriptText->setLineWrapMode(QPlainTextEdit::NoWrap);
  ScriptText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  ScriptText->setAccessibleName(QStringLiteral("Skript"));
  auto *scriptLabel = MakeLabel(QStringLiteral("Das Skript der gewählten Schritte:"), this);
  scriptLabel->setBuddy(ScriptText);

  const auto pane = [this](QLabel *label, QWidget *content) {
    auto *widget = new QWidget(this);
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    if (label)
      layout->addWidget(label);
    layout->addWidget(content, 1);
    return widget;
  };
  auto *splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(pane(nullptr, DifferenceList));
  splitter->addWidget(pane(stepsLabel, StepList));
  splitter->addWidget(pane(scriptLabel, ScriptText));
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setStretchFactor(2, 3);
  splitter->setChildrenCollapsible(false);

  RunLabel = MakeLabel({}, this);
  RunBtn = MakeButton(QStringLiteral("&Ausführen"), QStyle::SP_MediaPlay, this);
  RunBtn->setToolTip(QStringLiteral("Das Skript auf dem Server ausführen"));
  SaveBtn = MakeButton(QStringLiteral("&Speichern..."), QStyle::SP_DialogSaveButton, this);
  SaveBtn->setToolTip(QStringLiteral("Das Skript in eine Datei schreiben"));
  CancelBtn = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, this);
  CancelBtn->setAutoDefault(false);
  for (BitBtnXP *b : {RunBtn, SaveBtn, CancelBtn})
    b->setDesignSize(96, 25);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(RunBtn);
  buttons->addWidget(SaveBtn);
  buttons->addStretch(1);
  buttons->addWidget(CancelBtn);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(ChangesLabel);
  layout->addWidget(SummaryLabel);
  layout->addWidget(splitter, 1);
  layout->addWidget(RunLabel);
  layout->addLayout(buttons);

  connect(RunBtn, &QPushButton::clicked, this, [this] { m_stop.run([this] { RunBtnClick(); }); });
  connect(SaveBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { SaveBtnClick(); }); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(StepList, &QTreeWidget::itemChanged, this, [this] { ShowScript(); });

  resize(920, 720);
  Show(comparison);
}

void TCompareForm::Show(const SchemaComparison &comparison) {
  m_comparison = comparison;
  const QString &a = m_sides.a, &b = m_sides.b;
  SummaryLabel->setText(comparison.differences.isEmpty()
                            ? QStringLiteral("%1 und %2 haben dieselbe Struktur.").arg(a, b)
                            : QStringLiteral("%1 unterscheidet sich von %2 in %3 Punkten.")
                                  .arg(b, a, QString::number(comparison.differences.size())));

  DifferenceList->clear();
  QList<SchemaDifference> differences = comparison.differences;
  std::stable_sort(differences.begin(), differences.end(),
                   [&](const SchemaDifference &x, const SchemaDifference &y) {
                     return GroupOf(x, m_sides).first < GroupOf(y, m_sides).first;
                   });
  QList<QTreeWidgetItem *> groups;
  for (const SchemaDifference &d : differences) {
    const QString title = GroupOf(d, m_sides).second;
    auto group = std::find_if(groups.begin(), groups.end(), [&](QTreeWidgetItem *g) {
      return g->data(0, Qt::UserRole) == title;
    });
    if (group == groups.end()) {
      auto *item = new QTreeWidgetItem(DifferenceList);
      item->setData(0, Qt::UserRole, title);
      QFont bold = item->font(0);
      bold.setBold(true);
      item->setFont(0, bold);
      item->setFirstColumnSpanned(true);
      groups << item;
      group = std::prev(groups.end());
    }
    auto *item = new QTreeWidgetItem(*group);
    const bool wholeTable = d.area == Area::Table && d.detail.isEmpty();
    SetCell(item, 0,
            d.area == Area::Table && !wholeTable ? d.detail
            : d.detail.isEmpty()                 ? d.object
                                                 : d.object + QStringLiteral(": ") + d.detail);
    SetCell(item, 1, d.inA);
    SetCell(item, 2, d.inB);
  }
  for (QTreeWidgetItem *group : groups)
    group->setText(0, QStringLiteral("%1 (%2)").arg(group->data(0, Qt::UserRole).toString(),
                                                    QString::number(group->childCount())));
  DifferenceList->expandAll();
  DifferenceList->header()->resizeSection(0, 300);
  DifferenceList->header()->resizeSection(1, 280);

  const QSignalBlocker quiet(StepList);
  StepList->clear();
  for (const ScriptStep &step : comparison.steps) {
    auto *item = new QTreeWidgetItem(StepList);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setText(0, step.losesData ? step.title + QStringLiteral(" – kann Daten löschen")
                                    : step.title);
    item->setCheckState(0, step.losesData ? Qt::Unchecked : Qt::Checked);
    if (step.losesData)
      item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
  }
  ShowScript();
}

QList<bool> TCompareForm::chosen() const {
  QList<bool> flags;
  for (int i = 0; i < StepList->topLevelItemCount(); ++i)
    flags << (StepList->topLevelItem(i)->checkState(0) == Qt::Checked);
  return flags;
}

QList<ComparisonStatement> TCompareForm::ChosenScript() const {
  return BuildScript(m_comparison, chosen());
}

void TCompareForm::ShowScript() {
  const QList<ComparisonStatement> script = ChosenScript();
  ScriptText->setPlainText(script.isEmpty() ? QStringLiteral("-- Kein Schritt gewählt.")
                                            : ScriptFileText(m_comparison, script));
  RunBtn->setEnabled(!script.isEmpty());
  SaveBtn->setEnabled(!script.isEmpty());
}

void TCompareForm::RunBtnClick() {
  const QList<ComparisonStatement> script = ChosenScript();
  if (script.isEmpty())
    return;
  QStringList losing;
  const QList<bool> flags = chosen();
  for (int i = 0; i < m_comparison.steps.size(); ++i)
    if (flags.value(i) && m_comparison.steps[i].losesData)
      losing << QStringLiteral("• ") + m_comparison.steps[i].title;
  if (!losing.isEmpty() &&
      ShowMessage(this,
                  QStringLiteral("Gewählt sind Schritte, die Daten löschen können:\n\n%1\n\nDas "
                                 "Skript trotzdem ausführen?")
                      .arg(losing.join(QLatin1Char('\n'))),
                  QStringLiteral("Daten können verloren gehen"), MessageButtons::YesNo,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;

  JobProgress progress;
  ComparisonRun run;
  WithProgressWindow(
      QStringLiteral("Skript ausführen"), QStringLiteral("Das Skript ändert %1 ...").arg(m_sides.b),
      progress,
      [&](const JobProgress &p, qint64) {
        // The first statement sets the sql_mode.
        const qint64 done = std::max<qint64>(p.done - 1, 0);
        return ProgressView{int(done * 1000 / std::max<qsizetype>(script.size(), 1)),
                            QStringLiteral("%1 von %2 Anweisungen").arg(done).arg(script.size())};
      },
      [&] {
        try {
          run = RunComparison(m_session, m_comparison, script, progress);
        } catch (const ConnectionLost &lost) {
          if (!m_sides.ownConnection)
            throw;
          run.statements = script.size();
          run.lost = lost.error;
        }
      });
  m_sent = m_sent || run.outcome.ran > 0 || run.outcome.failed.number > 0;
  const QString report =
      run.complete() ? QStringLiteral("%1 von %1 Anweisungen wurden ausgeführt.").arg(script.size())
                     : ComparisonRunReport(run, m_comparison, script);
  if (!run.complete())
    ShowMessage(this, report, QStringLiteral("Skript nicht vollständig ausgeführt"),
                MessageButtons::Ok, MessageIcon::Critical);
  CancelBtn->setText(QStringLiteral("Schließen"));
  if (const std::optional<SchemaComparison> again = m_compareAgain()) {
    Show(*again);
    RunLabel->setText(report + QStringLiteral(" Oben steht, was jetzt noch verschieden ist."));
  } else {
    // What the window shows is no longer what the server holds.
    RunBtn->setEnabled(false);
    SaveBtn->setEnabled(false);
    RunLabel->setText(report);
  }
}

void TCompareForm::SaveBtnClick() {
  const QList<ComparisonStatement> script = ChosenScript();
  if (script.isEmpty())
    return;
  QString name = m_comparison.databaseB + QStringLiteral(".sql");
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  QFileDialog dialog(this, QStringLiteral("Skript speichern"),
                     QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                         QLatin1Char('/') + name,
                     QStringLiteral("SQL-Skripte (*.sql);;Alle Dateien (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("sql"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return;
  const QString path = dialog.selectedFiles().first();
  QString reason;
  if (!ReplaceFile(path, ScriptFileText(m_comparison, script).toUtf8(), FileAccess::Shared,
                   &reason))
    ShowMessage(
        this,
        QStringLiteral("Das Skript konnte nicht in „%1“ gespeichert werden: %2.").arg(path, reason),
        QStringLiteral("Speichern fehlgeschlagen"), MessageButtons::Ok, MessageIcon::Critical);
  else
    RunLabel->setText(QStringLiteral("Das Skript steht in „%1“.").arg(path));
}

#include "compare/CompareCommand.h"

#include "clientlib/SchemaCalls.h"
#include "common/Interaction.h"
#include "compare/CompareForm.h"
#include "structure/StructureTools.h"

#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The server's own databases are never the one a script changes: two of
// them cannot be changed, and a change of mysql or sys would change the
// server itself.
bool CanBeChanged(const QString &database) {
  for (const char *own : {"information_schema", "performance_schema", "mysql", "sys"})
    if (database.compare(QLatin1String(own), Qt::CaseInsensitive) == 0)
      return false;
  return true;
}

// Reads a database's schema; nothing when the user cancelled or the server
// refused (then the user was told).
std::optional<SchemaModel> ReadModel(QWidget *parent, ServerSession &session,
                                     const QString &database) {
  const SchemaRows rows = ReadSchemaRows(session, database);
  if (session.lastCallCancelled())
    return std::nullopt;
  if (!rows.reply.ok) {
    ShowMessage(parent,
                QStringLiteral("Die Struktur der Datenbank „%1“ konnte nicht gelesen werden.\n\n%2")
                    .arg(database, rows.reply.error),
                QStringLiteral("Vergleich nicht möglich"), MessageButtons::Ok,
                MessageIcon::Critical);
    return std::nullopt;
  }
  if (!rows.databaseExists) {
    ShowMessage(parent, QStringLiteral("Die Datenbank „%1“ gibt es nicht mehr.").arg(database),
                QStringLiteral("Vergleich nicht möglich"), MessageButtons::Ok,
                MessageIcon::Critical);
    return std::nullopt;
  }
  return BuildSchemaModel(database, rows);
}

std::optional<SchemaComparison> Compare(QWidget *parent, ServerSession &session, const QString &a,
                                        const QString &b) {
  const std::optional<SchemaModel> modelA = ReadModel(parent, session, a);
  if (!modelA)
    return std::nullopt;
  const std::optional<SchemaModel> modelB = ReadModel(parent, session, b);
  if (!modelB)
    return std::nullopt;
  return CompareSchemas(*modelA, *modelB);
}

} // namespace

TCompareSourceForm::TCompareSourceForm(const QString &database, const QStringList &others,
                                       QWidget *parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("CompareSourceForm"));
  setWindowTitle(QStringLiteral("Vergleichen mit"));
  DatabaseList = MakeReportList(this, {QStringLiteral("Datenbank")}, QStringLiteral("Datenbanken"));
  for (const QString &name : others)
    new QTreeWidgetItem(DatabaseList, {name});
  auto *label = MakeBuddyLabel(QStringLiteral("„%1“ &vergleichen mit der Datenbank:").arg(database),
                               DatabaseList, this);
  label->setWordWrap(true);
  auto *hint = new QLabel(QStringLiteral("Der Vergleich zeigt die Anweisungen, die die gewählte "
                                         "Datenbank gleich „%1“ machen. Sie sehen das ganze "
                                         "Skript, bevor etwas ausgeführt wird.")
                              .arg(database),
                          this);
  hint->setTextFormat(Qt::PlainText);
  hint->setWordWrap(true);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(DatabaseList, 1);
  layout->addWidget(hint);
  layout->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  OkBtn->setEnabled(false);
  connect(DatabaseList, &QTreeWidget::itemSelectionChanged, this,
          [this] { OkBtn->setEnabled(!chosen().isEmpty()); });
  connect(DatabaseList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
  resize(380, 420);
}

QString TCompareSourceForm::chosen() const {
  const QList<QTreeWidgetItem *> selected = DatabaseList->selectedItems();
  return selected.isEmpty() ? QString() : selected.first()->text(0);
}

bool CompareWithOtherDatabase(QWidget *parent, ServerSession &session, const QString &database,
                              const QStringList &databases) {
  QStringList others;
  for (const QString &name : databases)
    if (name != database && CanBeChanged(name))
      others << name;
  TCompareSourceForm source(database, others, parent);
  if (ExecModal(source) != QDialog::Accepted || source.chosen().isEmpty())
    return false;
  const QString other = source.chosen();
  const std::optional<SchemaComparison> comparison = Compare(parent, session, database, other);
  if (!comparison)
    return false;
  // Once a run has changed B, the window compares anew; what goes wrong
  // then is said over the window.
  QWidget *messagesOver = parent;
  TCompareForm form(
      session, *comparison, [&] { return Compare(messagesOver, session, database, other); },
      parent);
  messagesOver = &form;
  ExecModal(form);
  return form.sent();
}

void CompareCommand::CompareWithOther() {
  const std::optional<Selection> s = Start(Needs::Database);
  if (s && CompareWithOtherDatabase(m_window, m_session, s->databaseName, m_lists.ShownDatabases()))
    m_lists.RefreshLists();
}

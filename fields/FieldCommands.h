// "Neue Feld...", "Feld ändern..." and "Feld löschen..." on the selected
// table.
#pragma once

#include "commands/Command.h"
#include "fields/FieldRow.h"

class TEditFieldForm;

class FieldCommands : public Command {
public:
  FieldCommands(ServerSession &session, SchemaLists &lists, QWidget *window, TEditFieldForm &editor,
                FieldRowCarrier &carrier);
  // Adds the field the editor describes.
  void NewField();
  // Opens the editor on the selected column as the server has it now, when
  // accepting it unchanged gives back that very column; then changes it.
  void ChangeField();
  // Drops the selected field after asking.
  void DropField();

private:
  void AlterField(const Selection &selection, const QString &oldName, const Check &check = {});
  QString TrialChangeRefusal(const QString &what, const Selection &selection,
                             const FieldRow &row) const;
  TEditFieldForm &m_editor;
  FieldRowCarrier &m_carrier;
};

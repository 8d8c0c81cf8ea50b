// "Neue Tabelle...", "Tabelle löschen..." and "Tabelle umbenennen...".
#pragma once

#include "commands/Command.h"

class TNewTableForm;
class TRenameTableForm;

class TableCommands : public Command {
public:
  using Command::Command;
  // Creates the table the designer describes in the selected database; a
  // design the server refuses is kept for the designer's next showing.
  void NewTable(TNewTableForm &designer);
  // Drops the selected table after asking.
  void DropTable();
  // Renames the selected table to the name typed in the dialog.
  void RenameTable(TRenameTableForm &dialog);
};

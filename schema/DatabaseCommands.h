// "Neue Datenbank..." and "Datenbank löschen...".
#pragma once

#include "commands/Command.h"

class TNewDBForm;

class DatabaseCommands : public Command {
public:
  using Command::Command;
  // Creates the database named in the dialog, unless the list shows one of
  // that name already (the letters a to z compared without case).
  void NewDatabase(TNewDBForm &dialog);
  // Drops the selected database after asking.
  void DropDatabase();
};

// The program's forms, created once in a fixed order and living until the end.
#pragma once

#include <memory>

class TMainForm;

// Creates the main window first (it owns the others), then the connection
// dialog (which loads the saved connections), the new-database, rename,
// new-table and field-editor dialogs, and the information dialog.
std::unique_ptr<TMainForm> CreateForms();

// As the program starts: creates the main window and shows it; the other
// forms follow, in the order above, right after its first paint, and in any
// case before the program handles anything else (input, a timer, a queued
// call, a close).
std::unique_ptr<TMainForm> ShowMainFormFirst();

// Loads Qt's German texts for its own buttons and dialogs, whatever the
// system's locale.
void InstallGermanTranslations();

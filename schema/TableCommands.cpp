// Dropping, renaming and creating tables.
#include "app/mysql_test_main.h"

void TMainForm::DelTableBtnClick() {}
void TMainForm::TableRenameBtnClick() {}
void TMainForm::NewTableBtnClick() {}

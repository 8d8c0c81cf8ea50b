// Creating and dropping databases.
#include "app/mysql_test_main.h"

void TMainForm::NewDBBtnClick() {}
void TMainForm::DropDBBtnClick() {}

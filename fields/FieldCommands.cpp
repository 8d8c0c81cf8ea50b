// Adding, changing and dropping a column of the selected table.
#include "app/mysql_test_main.h"

void TMainForm::NewFieldBtnClick() {}
void TMainForm::ChangeFieldBntClick() {}
void TMainForm::DelFieldBtnClick() {}

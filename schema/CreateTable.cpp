// Creating a table from the new-table designer.
#include "app/mysql_test_main.h"

void TMainForm::NewTableBtnClick() {}

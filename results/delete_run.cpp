// Deletes the selected files, after the warnings, with an optional report.
#include "../app/drossweeper.h"

void DeleteRun(void)
{
}

// Saves the paths of the selected files to a text file.
#include "../app/drossweeper.h"

void ListExport(void)
{
}

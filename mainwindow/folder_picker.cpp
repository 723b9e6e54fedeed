// The folder picker behind the "..." button.
#include "../app/drossweeper.h"

bool PickFolder(HWND, const char *, char *, size_t)
{
    return false;
}

// Program entry: the command line and show command are not used.
#include "drossweeper.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunProgram(instance);
}

// Stands in for a program that the shell starts (text viewer, browser): appends
// its command line, one per line, to the file named by DROSS_RECORD_FILE.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main()
{
    const char *record = getenv("DROSS_RECORD_FILE");
    if (!record)
        return 2;
    FILE *file = fopen(record, "ab");
    if (!file)
        return 1;
    fprintf(file, "%s\n", GetCommandLineA());
    fclose(file);
    return 0;
}

// The save prompt and the text files of one path per line that both commands write.
#include "../app/drossweeper.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <commdlg.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

static const char FILTER[] = "All\0*\0Text\0*.TXT\0";

void FormatDefaultFileName(char *dest, size_t destSize, OutputKind kind, long long seconds)
{
    // The low 32 bits of the time, as a signed number.
    long stamp = (long)(int32_t)(uint32_t)(seconds & 0xFFFFFFFF);
    const char *format = kind == OUTPUT_REPORT ? "%s - Report [%ld].txt" : "%s - Selected Files List [%ld].txt";
    snprintf(dest, destSize, format, ProductTitle, stamp);
}

void BuildDefaultFileName(char *dest, size_t destSize, OutputKind kind)
{
    FormatDefaultFileName(dest, destSize, kind, (long long)time(NULL));
}

bool SavePrompt(HWND owner, const char *defaultName, char *path, size_t pathSize)
{
    // The dialog would hold the program's end until someone closed it.
    if (ExitConfirmed())
        return false;
    char initialFolder[PATH_TEXT_SIZE];
    DWORD length = GetModuleFileNameA(NULL, initialFolder, sizeof initialFolder);
    if (length == 0 || length >= sizeof initialFolder)
        initialFolder[0] = '\0';    // a cut path names no folder of ours: let the dialog choose
    else
        PathRemoveFileSpecA(initialFolder);
    CopyText(path, pathSize, defaultName);

    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = FILTER;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = (DWORD)pathSize;
    dialog.lpstrInitialDir = initialFolder[0] ? initialFolder : NULL;
    // Without this the dialog moves the process's current folder to the
    // chosen file's folder.
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    dialog.lpstrDefExt = "txt";
    // A dialog closed by the program's exit may return as if Save was pressed.
    if (!GetSaveFileNameA(&dialog) || ExitConfirmed())
        return false;

    HANDLE existing = CreateFileA(path, 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (existing == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(existing);
    return AskUser(owner, "File already exists.\n\nOverwrite?", MB_ICONWARNING | MB_YESNO) == IDYES;
}

FILE *CreateOutputFile(HWND owner, const char *path)
{
    FILE *file = fopen(path, "w+");
    if (!file)
        Tell(owner, "ERROR: Could not open file for writing.", MB_ICONWARNING | MB_OK);
    return file;
}

bool WritePathLine(FILE *file, const char *path)
{
    fputs(path, file);
    fputc('\n', file);
    return !ferror(file);
}

bool FlushOutputFile(FILE *file)
{
    return fflush(file) == 0;
}

bool CloseOutputFile(FILE *file)
{
    return fclose(file) == 0;
}

void ShowOutputFile(const char *path)
{
    if (ExitConfirmed())
        return;
    ShellExecuteA(NULL, NULL, path, NULL, NULL, SW_SHOWNORMAL);
}

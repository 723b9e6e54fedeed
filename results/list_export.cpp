// Saves the paths of the selected files to a text file.
#include "../app/drossweeper.h"

#include <stdio.h>

static const char LIST_WRITE_FAILED[] = "ERROR: Could not write the Selected Files List.";

static void WriteSelectedPaths(HWND owner, const Selection *selection)
{
    char defaultName[OUTPUT_PATH_SIZE];
    char path[OUTPUT_PATH_SIZE];
    BuildDefaultFileName(defaultName, sizeof defaultName, OUTPUT_LIST);
    if (!SavePrompt(owner, defaultName, path, sizeof path) || !StartListJob(owner, JOB_EXPORT, selection))
        return;
    FILE *file = CreateOutputFile(owner, path);
    if (!file) {
        EndJob();
        return;
    }

    HCURSOR previous = ShowHourglass();
    bool written = true;
    for (int position = 0; position < selection->count; position++) {
        char entry[PATH_TEXT_SIZE];
        if (!ReadEntryText(selection->indices[position], entry, sizeof entry)) {
            RestoreCursor(previous);
            CloseOutputFile(file);
            EndJob();
            Tell(owner, "ERROR - Could not get text.", MB_ICONWARNING | MB_OK);
            return;
        }
        if (!WritePathLine(file, entry)) {
            written = false;
            break;
        }
    }
    written = CloseOutputFile(file) && written;
    EndJob();
    RestoreCursor(previous);
    if (!written) {
        Tell(owner, LIST_WRITE_FAILED, MB_ICONWARNING | MB_OK);
        return;
    }
    Tell(owner, "Selected Files List saved.", MB_ICONINFORMATION | MB_OK);
    if (AskUser(owner, "Open the saved Selected Files List?", MB_ICONWARNING | MB_YESNO) == IDYES)
        ShowOutputFile(path);
}

void ListExport(void)
{
    HWND owner = app.resultsWindow;
    Selection selection;

    if (IsResultsCommandRunning())
        return;     // a click taken from the queue behind the command's own
    BeginResultsCommand();
    if (ReadSelection(owner, &selection)) {
        WriteSelectedPaths(owner, &selection);
        ReleaseSelection(&selection);
    }
    EndResultsCommand();
}

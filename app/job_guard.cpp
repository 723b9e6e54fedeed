// One job at a time: what runs now, and the check each job passes as it starts.
#include "drossweeper.h"

#include <stdio.h>

// A job begun on the UI thread (a delete run, an export, a links run) until
// it ends; a search is the worker's life instead.
static Job currentJob;

Job RunningJob(void)
{
    if (IsWorkerRunning())
        return JOB_SEARCH;
    return currentJob;
}

static const char *const JOB_ACTIONS[] = { "", "start a search", "delete files", "save the list",
                                           "create or delete links" };

static void TellRefusal(HWND owner, Job running, Job asked)
{
    char text[128];
    const char *action = JOB_ACTIONS[asked];
    if (running == JOB_SEARCH)
        snprintf(text, sizeof text, "Stop the current search to %s.", asked == JOB_SEARCH ? "start another" : action);
    else if (running == JOB_LINKS)
        snprintf(text, sizeof text, "Finish processing the links to %s.", action);
    else
        snprintf(text, sizeof text, "Finish the command in the List window to %s.", action);
    Tell(owner, text, MB_ICONWARNING | MB_OK);
}

bool JobMayStart(HWND owner, Job job)
{
    if (ExitConfirmed())
        return false;
    Job running = RunningJob();
    // A search would empty the list that a List window command took its
    // selection from, even while that command still asks its questions.
    if (running == JOB_NONE && job == JOB_SEARCH && IsResultsCommandRunning())
        running = JOB_EXPORT;
    if (running == JOB_NONE)
        return true;
    TellRefusal(owner, running, job);
    return false;
}

bool StartJob(HWND owner, Job job)
{
    if (!JobMayStart(owner, job))
        return false;
    if (job != JOB_SEARCH)
        currentJob = job;
    return true;
}

void EndJob(void)
{
    currentJob = JOB_NONE;
}

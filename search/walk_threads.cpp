// The walk's threads: one stack of folders still to list, shared by several walkers.
#include "walk.h"

#include <algorithm>
#include <new>
#include <vector>

// The folders still to list are taken first in the walk's own order (that in
// which one walker going depth first would list them), not merely the last
// pushed: walkers that each push a folder's subfolders would otherwise spread
// over the whole tree, and caches found far ahead of others would be put in
// the middle of the list the user is looking at, moving its rows. Taken so,
// walkers stay on the deepest first folders, the stack holds what a depth
// first walk holds (siblings along the folders being listed), and the list
// grows near its end. The stack is a heap whose top comes first.
static bool ComesLater(const FramePointer &a, const FramePointer &b)
{
    return a->order > b->order;
}

// Guards the stack and the count of walkers listing a folder; stackChanged
// wakes the walkers that wait for a folder, or for the walk's end.
static CRITICAL_SECTION stackLock;
static CONDITION_VARIABLE stackChanged;
static std::vector<FramePointer> stack;
static int busyWalkers;

void InitWalkThreads(void)
{
    InitializeCriticalSection(&stackLock);
    InitializeConditionVariable(&stackChanged);
}

bool PushFolders(std::vector<FramePointer> &frames)
{
    bool pushed = true;
    EnterCriticalSection(&stackLock);
    try {
        for (const FramePointer &frame : frames) {
            stack.push_back(frame);
            std::push_heap(stack.begin(), stack.end(), ComesLater);
        }
    } catch (const std::bad_alloc &) {
        pushed = false;
    }
    LeaveCriticalSection(&stackLock);
    WakeAllConditionVariable(&stackChanged);
    frames.clear();
    return pushed;
}

// The next folder to list, or none once the walk is over: the stack is empty
// and no walker is listing a folder that may add to it, or a stop was asked
// for. A walker that lists a folder checks the stop before every entry and
// then ends its folder, so waiting walkers learn of a stop from it.
static FramePointer TakeFolder(void)
{
    FramePointer frame;
    EnterCriticalSection(&stackLock);
    while (stack.empty() && busyWalkers > 0 && !IsStopRequested())
        SleepConditionVariableCS(&stackChanged, &stackLock, INFINITE);
    if (!stack.empty() && !IsStopRequested()) {
        std::pop_heap(stack.begin(), stack.end(), ComesLater);
        frame = stack.back();
        stack.pop_back();
        busyWalkers++;
    }
    LeaveCriticalSection(&stackLock);
    return frame;
}

static void EndFolder(void)
{
    EnterCriticalSection(&stackLock);
    busyWalkers--;
    LeaveCriticalSection(&stackLock);
    WakeAllConditionVariable(&stackChanged);
}

static DWORD WINAPI Walker(LPVOID)
{
    while (FramePointer frame = TakeFolder()) {
        WalkFolder(frame);
        EndFolder();
    }
    return 0;
}

// Waits for a thread while answering the calls that walkers make into the
// windows of the calling thread (a test that walks on its UI thread). A call
// that came before the wait began counts too, hence MWMO_INPUTAVAILABLE.
static void WaitAnswering(HANDLE thread)
{
    MSG msg;
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) ==
           WAIT_OBJECT_0 + 1)
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Twice the processors: under wine a walker waits on the server for every
// open and listing, and on Windows on the disk, so two walkers share a
// processor without getting in each other's way; more gained nothing
// measurable (1, 2, 4 and 8 walkers on two processors: 1, 0.52-0.62, 0.48-0.52
// and 0.48-0.51 of one walker's time).
int WalkerCount(void)
{
    if (walkerCount > 0)
        return walkerCount;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int count = 2 * (int)system.dwNumberOfProcessors;
    return count < 2 ? 2 : count > 16 ? 16 : count;
}

void RunWalkers(const FramePointer &root, int count)
{
    busyWalkers = 0;
    try {
        stack.assign(1, root);
    } catch (const std::bad_alloc &) {
        return;
    }
    std::vector<HANDLE> walkers;
    for (int i = 0; i < count; i++) {
        HANDLE walker = CreateThread(NULL, 0, Walker, NULL, 0, NULL);
        if (walker)
            walkers.push_back(walker);
    }
    if (walkers.empty())
        Walker(NULL);       // no thread to be had: this one walks
    for (HANDLE walker : walkers) {
        WaitAnswering(walker);
        CloseHandle(walker);
    }
    // A stop leaves folders that no walker took; their memory goes at once.
    std::vector<FramePointer>().swap(stack);
}

/*
 * The folder walk's own: one folder's work (directory_walk.cpp) and the
 * threads that share the folders still to list (walk_threads.cpp).
 */
#ifndef WALK_H
#define WALK_H

#include "../app/drossweeper.h"

#include <memory>
#include <string>
#include <vector>

/* A folder's identity (volume and file index), read once when it is needed. */
struct FolderIdentity {
    bool read;
    bool known;
    DWORD error;                /* why it could not be read */
    EntryIdentity id;
};

/* One folder to walk; the chain of parents leads back to the root. A frame
   is listed by one walker; its identity, which the walkers of its subfolders
   may read at once, is read under identityLock. */
struct WalkFrame {
    std::shared_ptr<WalkFrame> parent;
    std::string path;
    std::string order;                  /* the walk's order: each level's place among its folders, 4 bytes each */
    bool insideLink = false;            /* reached through a reparse point below the root */
    bool candidateTested = false;       /* this folder's THUMBS.DB path has been tested */
    FolderIdentity identity = {};
    bool shortPathRead = false;
    char shortPath[PATH_TEXT_SIZE] = ""; /* the folder by short names; "" when there is none */
};
typedef std::shared_ptr<WalkFrame> FramePointer;

/* directory_walk.cpp */
// Lists one folder: counts and tests its files, and hands each subfolder
// to be walked to PushFolders.
void WalkFolder(const FramePointer &frame);
bool IsStopRequested(void);

/* walk_threads.cpp */
// Walks the tree below the root with `count` walker threads that take
// folders from one stack, in the order one walker would take them; returns
// when every walker has ended, having answered the window calls of the
// walkers meanwhile.
void RunWalkers(const FramePointer &root, int count);
// Adds a folder's subfolders to the stack, to be taken in their order, and
// empties `frames`; false when there was no memory for them.
bool PushFolders(std::vector<FramePointer> &frames);
void InitWalkThreads(void);

#endif

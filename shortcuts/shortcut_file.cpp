// The program's own shortcut in one folder: inspect, create, delete.
#include "../app/drossweeper.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

const char LinkFileName[] = "Drossweeper [THUMBS.DB].lnk";

// A COM interface pointer that releases itself on every path.
template <class T> struct ComRef {
    T *p = NULL;
    ~ComRef() { if (p) p->Release(); }
    T *operator->() const { return p; }
};

bool BuildLinkPath(char *dest, size_t destSize, const char *folder)
{
    // Refused rather than cut: a cut folder path names some other folder.
    return JoinPath(dest, destSize, folder, LinkFileName);
}

void ProgramFolderOf(char *dest, size_t destSize, const char *programPath)
{
    CopyText(dest, destSize, programPath);
    char *lastBackslash = strrchr(dest, '\\');
    if (lastBackslash)
        *lastBackslash = '\0';
    else
        dest[0] = '\0';
}

static bool ProgramPath(char *path, size_t pathSize)
{
    DWORD length = GetModuleFileNameA(GetModuleHandleA(NULL), path, (DWORD)pathSize);
    return length > 0 && length < pathSize;
}

static bool WidePath(const char *path, wchar_t *wide)
{
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, PATH_TEXT_SIZE) != 0;
}

static bool CreateShellLink(ComRef<IShellLinkA> &link, ComRef<IPersistFile> &file)
{
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link.p)))
        return false;
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file.p));
}

// Opens an existing shortcut through the shell-link object.
static bool LoadLink(const char *linkPath, ComRef<IShellLinkA> &link, ComRef<IPersistFile> &file)
{
    char folder[PATH_TEXT_SIZE];
    CopyText(folder, sizeof folder, linkPath);
    PathRemoveFileSpecA(folder);
    if (!PathIsDirectoryA(folder))
        return false;
    HANDLE existing = CreateFileA(linkPath, 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (existing == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(existing);
    wchar_t wide[PATH_TEXT_SIZE];
    return CreateShellLink(link, file) && WidePath(linkPath, wide) && SUCCEEDED(file->Load(wide, STGM_READ));
}

bool CanLoadLink(const char *linkPath)
{
    ComRef<IShellLinkA> link;
    ComRef<IPersistFile> file;
    return LoadLink(linkPath, link, file);
}

bool ReadLinkTarget(const char *linkPath, char *target, size_t targetSize)
{
    ComRef<IShellLinkA> link;
    ComRef<IPersistFile> file;
    if (!LoadLink(linkPath, link, file))
        return false;
    return SUCCEEDED(link->GetPath(target, (int)targetSize, NULL, 0));
}

bool IsOwnLink(const char *linkPath)
{
    char target[PATH_TEXT_SIZE];
    char program[PATH_TEXT_SIZE];
    if (!ReadLinkTarget(linkPath, target, sizeof target) || !ProgramPath(program, sizeof program))
        return false;
    return strcmp(target, program) == 0;
}

// Writes the shortcut's four attributes; false when any step failed.
static bool WriteLink(const char *linkPath, const char *program, const char *programFolder)
{
    ComRef<IShellLinkA> link;
    ComRef<IPersistFile> file;
    wchar_t wide[PATH_TEXT_SIZE];
    return CreateShellLink(link, file) &&
           SUCCEEDED(link->SetPath(program)) &&
           SUCCEEDED(link->SetWorkingDirectory(programFolder)) &&
           SUCCEEDED(link->SetIconLocation(program, 0)) &&
           SUCCEEDED(link->SetDescription(ProductTitle)) &&
           WidePath(linkPath, wide) &&
           SUCCEEDED(file->Save(wide, TRUE));
}

void CreateLink(HWND owner, const char *folder)
{
    char text[3 * PATH_TEXT_SIZE];
    if (!folder[0])
        return;
    if (!PathIsDirectoryA(folder)) {
        snprintf(text, sizeof text, "'%s' is not a valid directory name. [Create Link]", folder);
        Tell(owner, text, MB_ICONWARNING);
        return;
    }
    char linkPath[PATH_TEXT_SIZE];
    if (!BuildLinkPath(linkPath, sizeof linkPath, folder)) {
        snprintf(text, sizeof text, "'%s' is too long a directory name for a link. [Create Link]", folder);
        Tell(owner, text, MB_ICONWARNING);
        return;
    }
    char program[PATH_TEXT_SIZE];
    char programFolder[PATH_TEXT_SIZE];
    if (!ProgramPath(program, sizeof program)) {
        Tell(owner, "Error creating link.", MB_ICONWARNING);
        return;
    }
    ProgramFolderOf(programFolder, sizeof programFolder, program);

    if (CanLoadLink(linkPath)) {
        char target[PATH_TEXT_SIZE];
        if (!ReadLinkTarget(linkPath, target, sizeof target))
            target[0] = '\0';
        if (strcmp(target, program) != 0) {
            snprintf(text, sizeof text, "The link '%s' already exists. It links to '%s'.\n\nOverwrite?",
                     linkPath, target);
            // Owned by the Links dialog, which stays disabled while it asks:
            // a live dialog behind it could start a second run.
            if (AskUser(owner, text, MB_YESNO | MB_ICONWARNING) != IDYES)
                return;
        }
    }
    if (!WriteLink(linkPath, program, programFolder))
        Tell(owner, "Error creating link.", MB_ICONWARNING);
}

bool DeleteLink(const char *folder)
{
    char linkPath[PATH_TEXT_SIZE];
    if (!folder[0] || !PathIsDirectoryA(folder) || !BuildLinkPath(linkPath, sizeof linkPath, folder))
        return false;
    return DeleteFileA(linkPath) != 0;
}

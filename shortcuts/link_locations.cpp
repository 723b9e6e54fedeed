// The fifteen shell folders where the program can keep a shortcut to itself.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <string.h>

static const char SHELL_FOLDERS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char QUICK_LAUNCH_SUB_PATH[] = "Microsoft\\Internet Explorer\\Quick Launch";
static const size_t QUICK_LAUNCH_BASE_MAX = 218;

LinkLocation LinkLocationTable[LINK_LOCATION_COUNT];

const LinkLocationBinding LinkLocationBindings[LINK_LOCATION_COUNT] = {
    { IDC_LINK_USER_DESKTOP,        HKEY_CURRENT_USER,  "Desktop",           false },
    { IDC_LINK_USER_STARTMENU,      HKEY_CURRENT_USER,  "Start Menu",        false },
    { IDC_LINK_USER_PROGRAMS,       HKEY_CURRENT_USER,  "Programs",          false },
    { IDC_LINK_USER_STARTUP,        HKEY_CURRENT_USER,  "Startup",           false },
    { IDC_LINK_USER_QUICKLAUNCH,    HKEY_CURRENT_USER,  "AppData",           true },
    { IDC_LINK_MACHINE_DESKTOP,     HKEY_LOCAL_MACHINE, "Desktop",           false },
    { IDC_LINK_MACHINE_STARTMENU,   HKEY_LOCAL_MACHINE, "Start Menu",        false },
    { IDC_LINK_MACHINE_PROGRAMS,    HKEY_LOCAL_MACHINE, "Programs",          false },
    { IDC_LINK_MACHINE_STARTUP,     HKEY_LOCAL_MACHINE, "Startup",           false },
    { IDC_LINK_MACHINE_QUICKLAUNCH, HKEY_LOCAL_MACHINE, "AppData",           true },
    { IDC_LINK_COMMON_DESKTOP,      HKEY_LOCAL_MACHINE, "Common Desktop",    false },
    { IDC_LINK_COMMON_STARTMENU,    HKEY_LOCAL_MACHINE, "Common Start Menu", false },
    { IDC_LINK_COMMON_PROGRAMS,     HKEY_LOCAL_MACHINE, "Common Programs",   false },
    { IDC_LINK_COMMON_STARTUP,      HKEY_LOCAL_MACHINE, "Common Startup",    false },
    { IDC_LINK_COMMON_QUICKLAUNCH,  HKEY_LOCAL_MACHINE, "Common AppData",    true },
};

static void QuickLaunchPath(char *dest, size_t destSize, const char *base)
{
    char cut[QUICK_LAUNCH_BASE_MAX + 1];
    CopyText(cut, sizeof cut, base);
    if (!JoinPath(dest, destSize, cut, QUICK_LAUNCH_SUB_PATH))
        dest[0] = '\0';     // cannot happen: 218 + 1 + 40 characters fit
}

// Reads one value into its entry; a refused value leaves the old path, marked invalid.
static void AcceptLocation(HKEY key, int entry)
{
    const LinkLocationBinding &binding = LinkLocationBindings[entry];
    LinkLocation &location = LinkLocationTable[entry];
    char value[PATH_TEXT_SIZE];
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG status = RegQueryValueExA(key, binding.valueName, NULL, &type, (BYTE *)value, &size);
    location.valid = status == ERROR_SUCCESS && type == REG_SZ && size > 1;
    if (!location.valid)
        return;
    value[sizeof value - 1] = '\0';     // a value stored without its terminator
    if (size < sizeof value)
        value[size] = '\0';
    if (binding.quickLaunch)
        QuickLaunchPath(location.path, sizeof location.path, value);
    else
        CopyText(location.path, sizeof location.path, value);
}

static void ReadRootKey(HKEY root, const int *entries, int count)
{
    HKEY key;
    if (RegOpenKeyExA(root, SHELL_FOLDERS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < count; i++)
        AcceptLocation(key, entries[i]);
    RegCloseKey(key);
}

void ReadLinkLocations(void)
{
    static const int userEntries[] = { 0, 1, 2, 3, 4 };
    static const int machineEntries[] = { 10, 11, 12, 13, 14, 5, 6, 7, 8, 9 };
    ReadRootKey(HKEY_CURRENT_USER, userEntries, 5);
    ReadRootKey(HKEY_LOCAL_MACHINE, machineEntries, 10);
}

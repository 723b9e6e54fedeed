// Caption, icons and the centring of a window over its parent.
#include "../app/drossweeper.h"

#include <stdio.h>

POINT CentredPosition(const RECT &window, const RECT &parent, const RECT &parentNormal,
                      const RECT &workArea)
{
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    LONG parentWidth = parent.right - parent.left;
    LONG parentHeight = parent.bottom - parent.top;
    // Each half is truncated on its own: 100 and 51 give 50 - 25, not 49 / 2.
    POINT at;
    at.x = parentNormal.left + (parentWidth / 2 - width / 2);
    at.y = parentNormal.top + (parentHeight / 2 - height / 2);

    if (at.x < workArea.left)
        at.x = workArea.left;
    else if (at.x + width > workArea.right)
        at.x = workArea.right - width;
    if (at.y < workArea.top)
        at.y = workArea.top;
    else if (at.y + height > workArea.bottom)
        at.y = workArea.bottom - height;
    return at;
}

void FrameWindow(HWND window, const char *name, bool centre, int showCommand)
{
    char caption[2048];
    snprintf(caption, sizeof caption, "%s - %s", ProductTitle, name);
    SetWindowTextA(window, caption);
    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)app.appIcon);
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)app.appIcon);
    if (!centre)
        return;

    RECT own, parentRect, workArea;
    WINDOWPLACEMENT placement = {}, parentPlacement = {};
    GetWindowRect(window, &own);
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    HWND parent = GetParent(window);
    GetWindowRect(parent, &parentRect);
    parentPlacement.length = sizeof parentPlacement;
    GetWindowPlacement(parent, &parentPlacement);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);

    POINT at = CentredPosition(own, parentRect, parentPlacement.rcNormalPosition, workArea);
    placement.length = sizeof placement;
    placement.flags = 0;
    placement.showCmd = showCommand;
    placement.rcNormalPosition.left = at.x;
    placement.rcNormalPosition.top = at.y;
    placement.rcNormalPosition.right = at.x + (own.right - own.left);
    placement.rcNormalPosition.bottom = at.y + (own.bottom - own.top);
    SetWindowPlacement(window, &placement);
    ShowWindow(window, showCommand);
}

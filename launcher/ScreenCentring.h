// Placement of a window in the middle of the screen.
#pragma once

// The left (or top) coordinate that centres a window spanning [nearEdge, farEdge) on a screen
// of screenSize pixels: half of what the screen has to spare, rounded toward zero, so a window
// larger than the screen starts left of (or above) it by half the excess.
constexpr int CentredPosition(int screenSize, int nearEdge, int farEdge)
{
    return (screenSize + nearEdge - farEdge) / 2;
}

// Centring a dialog over its parent, kept inside the work area.
#include "test_support.h"

static RECT Rect(LONG left, LONG top, LONG right, LONG bottom)
{
    RECT r = { left, top, right, bottom };
    return r;
}

TEST(CentredPosition, CentresOverTheParent)
{
    RECT parent = Rect(100, 50, 700, 450);
    POINT at = CentredPosition(Rect(0, 0, 201, 301), parent, parent, Rect(0, 0, 1280, 1000));
    EXPECT_EQ(300, at.x);   // 100 + (600 / 2 - 201 / 2)
    EXPECT_EQ(100, at.y);   // 50 + (400 / 2 - 301 / 2)
}

TEST(CentredPosition, HalvesEachSizeOnItsOwn)
{
    RECT parent = Rect(0, 0, 100, 100);
    POINT at = CentredPosition(Rect(0, 0, 51, 51), parent, parent, Rect(0, 0, 1000, 1000));
    EXPECT_EQ(25, at.x);    // 50 - 25, not (100 - 51) / 2 = 24
    EXPECT_EQ(25, at.y);
}

TEST(CentredPosition, OriginComesFromTheNormalRectangle)
{
    POINT at = CentredPosition(Rect(0, 0, 200, 100), Rect(0, 0, 600, 400),
                               Rect(300, 200, 900, 600), Rect(0, 0, 2000, 2000));
    EXPECT_EQ(300 + 200, at.x);
    EXPECT_EQ(200 + 150, at.y);
}

TEST(CentredPosition, ClampsIntoTheWorkArea)
{
    RECT work = Rect(0, 0, 1000, 800);
    // 20 pixels left of and above the work area: moved to its edges independently.
    RECT parent = Rect(-120, -120, 80, 80);
    POINT at = CentredPosition(Rect(0, 0, 240, 240), parent, parent, work);
    EXPECT_EQ(0, at.x);
    EXPECT_EQ(0, at.y);
    // Past the right and bottom edges: the edges coincide.
    parent = Rect(900, 700, 1100, 900);
    at = CentredPosition(Rect(0, 0, 300, 200), parent, parent, work);
    EXPECT_EQ(700, at.x);
    EXPECT_EQ(600, at.y);
}

TEST(CentredPosition, WindowWiderThanTheWorkArea)
{
    RECT work = Rect(0, 0, 1000, 800);
    // Centred left edge inside the work area: flush with the right edge instead.
    RECT parent = Rect(400, 0, 1000, 400);
    POINT at = CentredPosition(Rect(0, 0, 1200, 100), parent, parent, work);
    EXPECT_EQ(-200, at.x);
    // Centred left edge left of the work area: starts at its left edge.
    parent = Rect(0, 0, 400, 400);
    at = CentredPosition(Rect(0, 0, 1200, 100), parent, parent, work);
    EXPECT_EQ(0, at.x);
}

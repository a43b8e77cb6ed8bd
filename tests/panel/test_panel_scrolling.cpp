// The panel's own vertical scroll bar: the range from the size events and
// the step table of the scroll handler.
#include <QScrollBar>
#include <QtTest/QTest>

#include "panel_fixture.h"

namespace {

constexpr int kOuterHeight = 600;

class ScrollTest : public PanelTest {
protected:
    // Makes the step range R: the window's outer height against a client
    // height R pixels lower.
    void SetRange(int range)
    {
        dlg->m_rcInitial = RECT{0, 0, 901, kOuterHeight};
        dlg->OnSize(SIZE_RESTORED, 901, kOuterHeight - range);
    }
    void Scroll(UINT code, UINT pos = 0) { dlg->OnVScroll(code, pos, nullptr); }
    // How far the content is moved up, read off a control's position.
    int ContentOffset() const { return 98 - dlg->GetDlgItem(IDC_INITIALIZE)->y(); } // template y 60 -> 98 px
    QScrollBar* Bar() const { return Window()->VerticalBar(); }
};

} // namespace

TEST_F(ScrollTest, AtTheTemplateSizeThereIsNothingToScroll)
{
    EXPECT_EQ(dlg->m_nClientHeight, 515);
    EXPECT_FALSE(Bar()->isVisible());
    EXPECT_EQ(ContentOffset(), 0);
}

TEST_F(ScrollTest, ALowerWindowShowsTheBarWithItsRangeAndPage)
{
    Window()->resize(Window()->width(), Window()->height() - 200);
    const int expected = (dlg->m_rcInitial.bottom - dlg->m_rcInitial.top) - Window()->height();
    EXPECT_EQ(dlg->m_nClientHeight, Window()->height());
    EXPECT_TRUE(Bar()->isVisible());
    SCROLLINFO si;
    ASSERT_TRUE(dlg->GetScrollInfo(SB_VERT, &si));
    EXPECT_EQ(si.nMax, expected);
    EXPECT_EQ(si.nPage, static_cast<UINT>(expected / 10));
    // The client area gives way to the bar.
    RECT client;
    dlg->GetClientRect(&client);
    EXPECT_EQ(client.right, Window()->width() - Bar()->width());
}

TEST_F(ScrollTest, LineAndPageStepsWithARangeOf250)
{
    SetRange(250);
    struct Step {
        UINT code;
        int expected;
    };
    const Step steps[] = {
        {SB_LINEDOWN, 2},  {SB_PAGEDOWN, 27}, {SB_LINEUP, 25},  {SB_PAGEUP, 0},
        {SB_PAGEUP, 0},    {SB_LINEUP, 0},
    };
    for (const Step& s : steps) {
        Scroll(s.code);
        EXPECT_EQ(dlg->m_nScrollPos, s.expected) << s.code;
        EXPECT_EQ(ContentOffset(), s.expected);
    }
    for (int i = 0; i < 10; ++i)
        Scroll(SB_PAGEDOWN);
    EXPECT_EQ(dlg->m_nScrollPos, 250);
    Scroll(SB_PAGEDOWN);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(dlg->m_nScrollPos, 250);
    EXPECT_EQ(ContentOffset(), 250);

    Scroll(SB_THUMBPOSITION, 249);
    Scroll(SB_LINEDOWN); // only 1 pixel is left
    EXPECT_EQ(dlg->m_nScrollPos, 250);
    EXPECT_EQ(ContentOffset(), 250);
}

TEST_F(ScrollTest, ALineUpNeverGoesAboveTheTop)
{
    SetRange(1000);
    Scroll(SB_THUMBPOSITION, 3);
    Scroll(SB_LINEUP); // a line is 10, but only 3 are left
    EXPECT_EQ(dlg->m_nScrollPos, 0);
    EXPECT_EQ(ContentOffset(), 0);
    Scroll(SB_LINEUP);
    EXPECT_EQ(dlg->m_nScrollPos, 0);
}

TEST_F(ScrollTest, TheContentFollowsTheThumbOnlyWhenItIsReleased)
{
    SetRange(500);
    Scroll(SB_THUMBTRACK, 300);
    EXPECT_EQ(dlg->m_nScrollPos, 0);
    EXPECT_EQ(ContentOffset(), 0);
    Scroll(SB_THUMBPOSITION, 300);
    EXPECT_EQ(dlg->m_nScrollPos, 300);
    EXPECT_EQ(ContentOffset(), 300);
    EXPECT_EQ(dlg->GetScrollPos(SB_VERT), 300);
    for (UINT ignored : {SB_TOP, SB_BOTTOM, SB_ENDSCROLL, 9u}) {
        Scroll(ignored);
        EXPECT_EQ(dlg->m_nScrollPos, 300) << ignored;
        EXPECT_EQ(ContentOffset(), 300);
    }
}

TEST_F(ScrollTest, TheThumbStopsAPageShortOfTheEndAndAReleaseThereMovesBack)
{
    SetRange(250);
    for (int i = 0; i < 10; ++i)
        Scroll(SB_PAGEDOWN);
    ASSERT_EQ(dlg->m_nScrollPos, 250);
    EXPECT_EQ(dlg->GetScrollPos(SB_VERT), 250 - 25 + 1);
    // Releasing the thumb where it stands moves the content down by R/10 - 1.
    Scroll(SB_THUMBPOSITION, static_cast<UINT>(dlg->GetScrollPos(SB_VERT)));
    EXPECT_EQ(dlg->m_nScrollPos, 226);
    EXPECT_EQ(ContentOffset(), 226);
}

TEST_F(ScrollTest, TheBarsOwnButtonsAndDragGoThroughTheHandler)
{
    SetRange(250);
    Bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(dlg->m_nScrollPos, 25);
    EXPECT_EQ(Bar()->value(), 25);
    Bar()->triggerAction(QAbstractSlider::SliderToMaximum); // SB_BOTTOM: ignored
    EXPECT_EQ(dlg->m_nScrollPos, 25);
    EXPECT_EQ(Bar()->sliderPosition(), 25);
    // Dragging moves only the thumb; the release moves the content.
    Bar()->setSliderDown(true);
    Bar()->setSliderPosition(120);
    EXPECT_EQ(dlg->m_nScrollPos, 25);
    Bar()->setSliderDown(false);
    EXPECT_EQ(dlg->m_nScrollPos, 120);
    EXPECT_EQ(ContentOffset(), 120);
}

TEST_F(ScrollTest, OnlyTheLeftButtonWorksTheBar)
{
    SetRange(250);
    const QPoint trough(Bar()->width() / 2, Bar()->height() * 3 / 4);
    QTest::mouseClick(Bar(), Qt::MiddleButton, {}, trough);
    EXPECT_EQ(dlg->m_nScrollPos, 0);
    EXPECT_EQ(Bar()->value(), 0);
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, trough); // a page down
    EXPECT_EQ(dlg->m_nScrollPos, 25);
    EXPECT_EQ(ContentOffset(), 25);
}

TEST_F(ScrollTest, AWindowMadeHigherBringsTheContentBackWithinTheNewRange)
{
    SetRange(400);
    Scroll(SB_THUMBPOSITION, 300);
    dlg->OnSize(SIZE_RESTORED, 901, kOuterHeight - 100); // range now 100
    EXPECT_EQ(dlg->m_nScrollPos, 100);
    EXPECT_EQ(ContentOffset(), 100);
    EXPECT_EQ(dlg->GetScrollPos(SB_VERT), 100 - 10 + 1); // shown as far as the thumb goes
    dlg->OnSize(SIZE_RESTORED, 901, kOuterHeight + 50); // the bar disappears
    EXPECT_EQ(dlg->m_nScrollPos, 0);
    EXPECT_EQ(ContentOffset(), 0);
    EXPECT_FALSE(Bar()->isVisible());
}

TEST_F(ScrollTest, MinimisingGivesTheFullHeightAsRangeAndKeepsTheOffset)
{
    SetRange(200);
    Scroll(SB_THUMBPOSITION, 150);
    dlg->OnSize(SIZE_MINIMIZED, 0, 0);
    SCROLLINFO si;
    dlg->GetScrollInfo(SB_VERT, &si);
    EXPECT_EQ(si.nMax, kOuterHeight);
    EXPECT_EQ(dlg->m_nScrollPos, 150);
    EXPECT_EQ(ContentOffset(), 150);
}

TEST_F(ScrollTest, SizeEventsBeforeInitialisationSetNoRange)
{
    dlg->m_rcInitial = RECT{}; // as before OnInitDialog stored it
    dlg->OnSize(SIZE_RESTORED, 901, 200);
    SCROLLINFO si;
    dlg->GetScrollInfo(SB_VERT, &si);
    EXPECT_EQ(si.nMax, 0);
    EXPECT_FALSE(Bar()->isVisible());
    // Without a window at all, a size event is harmless.
    CControlPanelDlg unborn;
    unborn.OnSize(SIZE_RESTORED, 901, 200);
    EXPECT_EQ(unborn.m_nClientHeight, 200);
}

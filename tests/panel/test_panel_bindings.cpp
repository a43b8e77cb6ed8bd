// Data exchange between the panel's members and its controls, both ways.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <climits>

#include <string>

#include "dialog_integer.h"
#include "panel_fixture.h"

namespace {

struct IntegerCase {
    const char* text;
    bool accepted;
    int value;
};

// FVersion texts; a rejected one brings the prompt.
const IntegerCase kFVersionCases[] = {
    {" 12 ", true, 12},
    {"\t12\t", true, 12},
    {"+7", true, 7},
    {"0", true, 0},
    {"-12", true, -12},
    {"007", true, 7},
    {"99999999999", true, INT_MAX},
    {"-99999999999", true, INT_MIN},
    {"", false, 0},
    {"   ", false, 0},
    {"-", false, 0},
    {"-0", false, 0},
    {"+0", false, 0},
    {"12a", false, 0},
    {"0x10", false, 0},
    {"1 2", false, 0},
};

} // namespace

TEST_F(PanelTest, FVersionTextsAreReadAsIntegersOrBringThePrompt)
{
    for (const IntegerCase& c : kFVersionCases) {
        SCOPED_TRACE(c.text);
        prompts->texts.clear();
        dlg->m_nVersion = 4711;
        Edit(IDC_VERSION)->setText(QString::fromLatin1(c.text));
        const BOOL ok = dlg->UpdateData(TRUE);
        EXPECT_EQ(ok, c.accepted ? TRUE : FALSE);
        EXPECT_EQ(dlg->m_nVersion, c.accepted ? c.value : 4711);
        EXPECT_EQ(prompts->texts, c.accepted ? QStringList() : QStringList{QStringLiteral("Please enter an integer.")});
    }
}

TEST(DialogInteger, OnlyTheFirst31CharactersCount)
{
    int value = 0;
    const std::string tail = "1" + std::string(30, ' ');
    EXPECT_TRUE(dialogkit::ParseDialogInteger(CString(tail + "x"), &value));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(dialogkit::ParseDialogInteger(CString("1x" + std::string(40, ' ')), &value));
}

TEST_F(PanelTest, AFailedTransferFocusesFVersionSelectsItAndStopsThere)
{
    dlg->m_strStatus = "old status";
    dlg->m_strTemp1 = "old temp";
    Edit(IDC_STATUS)->setText(QStringLiteral("typed status"));
    Edit(IDC_TEMP1)->setText(QStringLiteral("typed temp"));
    Edit(IDC_VERSION)->setText(QStringLiteral("12a"));

    EXPECT_EQ(dlg->UpdateData(TRUE), FALSE);
    // Bindings before FVersion ran, those after it did not.
    EXPECT_EQ(dlg->m_strStatus, "typed status");
    EXPECT_EQ(dlg->m_strTemp1, "old temp");
    EXPECT_EQ(Window()->focusWidget(), Edit(IDC_VERSION));
    EXPECT_EQ(Edit(IDC_VERSION)->selectedText(), QStringLiteral("12a"));

    // The handlers' closing transfer writes the members back, bad text included.
    EXPECT_EQ(dlg->UpdateData(FALSE), TRUE);
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
    EXPECT_EQ(Edit(IDC_TEMP1)->text(), QStringLiteral("old temp"));
}

TEST_F(PanelTest, APromptAlreadyOpenIsNotStackedByAnotherFailedTransfer)
{
    Edit(IDC_VERSION)->setText(QStringLiteral("bad"));
    BOOL nested = TRUE;
    prompts->whileOpen = [&] {
        prompts->whileOpen = nullptr;
        nested = dlg->UpdateData(TRUE); // as a sampling tick inside the prompt would
    };
    EXPECT_EQ(dlg->UpdateData(TRUE), FALSE);
    EXPECT_EQ(nested, FALSE);
    EXPECT_EQ(prompts->texts.size(), 1);
    // Once closed, the next failure prompts again.
    EXPECT_EQ(dlg->UpdateData(TRUE), FALSE);
    EXPECT_EQ(prompts->texts.size(), 2);
}

TEST_F(PanelTest, TextsGoBothWaysAndAnUnchangedFieldIsLeftAlone)
{
    QLineEdit* setTemp = Edit(IDC_SETTEMP);
    QTest::keyClicks(setTemp, QStringLiteral(" 25.5"));
    dlg->UpdateData(TRUE);
    EXPECT_EQ(dlg->m_strSetTemp, " 25.5");

    // Same text: the operator's selection (and undo history) survive.
    setTemp->selectAll();
    dlg->UpdateData(FALSE);
    EXPECT_EQ(setTemp->selectedText(), QStringLiteral(" 25.5"));
    EXPECT_TRUE(setTemp->isUndoAvailable());

    dlg->m_strSetTemp = "30.0";
    dlg->m_nVersion = -12;
    dlg->m_strPower4 = "100.0";
    dlg->UpdateData(FALSE);
    EXPECT_EQ(setTemp->text(), QStringLiteral("30.0"));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("-12"));
    EXPECT_EQ(Edit(IDC_POWER4)->text(), QStringLiteral("100.0"));
}

TEST_F(PanelTest, PortTextSelectsTheFirstItemBeginningWithItIgnoringCase)
{
    struct Case {
        const char* before; // selection made first, "" for none
        const char* member;
        int selected;
    };
    const Case cases[] = {
        {"", "COM1", 0},   {"", "COM2", 1},    {"", "com2", 1},       {"", "COM10", 9},
        {"COM5", "COM21", 4}, {"COM5", "", 4}, {"", "COM21", -1},     {"", "", -1},
    };
    QComboBox* port = Combo(IDC_PORT);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " / " + c.member);
        port->setCurrentIndex(port->findText(QString::fromLatin1(c.before)));
        dlg->m_strPort = c.member;
        dlg->UpdateData(FALSE);
        EXPECT_EQ(port->currentIndex(), c.selected);
    }
    port->setCurrentIndex(-1);
    dlg->UpdateData(TRUE);
    EXPECT_EQ(dlg->m_strPort, CString());
    port->setCurrentIndex(14);
    dlg->UpdateData(TRUE);
    EXPECT_EQ(dlg->m_strPort, "COM15");
}

TEST_F(PanelTest, ListIndexesGoBothWaysWithMinusOneForNone)
{
    QComboBox* enable = Combo(IDC_OUTPUT_ENABLE);
    for (const auto& [member, selected] : std::vector<std::pair<int, int>>{{1, 1}, {0, 0}, {-1, -1}, {2, -1}}) {
        dlg->m_nOutputEnable = member;
        dlg->UpdateData(FALSE);
        EXPECT_EQ(enable->currentIndex(), selected) << member;
    }
    enable->setCurrentIndex(1); // the operator picks "ENABLE"
    dlg->UpdateData(TRUE);
    EXPECT_EQ(dlg->m_nOutputEnable, 1);
    Combo(IDC_CHANNEL)->setCurrentIndex(2);
    dlg->UpdateData(TRUE);
    EXPECT_EQ(dlg->m_nChannel, 2);
}

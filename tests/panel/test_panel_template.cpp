// The panel as built from its template: every control's id, class, caption
// and place in the tab order, rectangles in pixels, captions that fit, the
// initial lists and contents, and the resources.
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QAbstractItemView>
#include <QScrollBar>
#include <cstring>

#include "dialog_units.h"
#include "panel_fixture.h"
#include "res/panel_resources.h"

namespace {

struct ExpectedControl {
    int id;
    const char* qtClass;
    const char* caption;
};

// Written out from the panel's definition, independently of templates.cpp.
const ExpectedControl kExpected[49] = {
    {1001, "QPushButton", "INITIALIZE "}, {1025, "QComboBox", ""},
    {-1, "QLabel", "SELECT COMM PORT"},   {1038, "QProgressBar", ""},
    {-1, "QGroupBox", "PC COMMUNICATIONS"}, {1043, "QLineEdit", ""},
    {1033, "QPushButton", "CommCheck"},   {1003, "QLineEdit", "0"},
    {-1, "QLabel", "FVersion"},           {1004, "QPushButton", "SAMPLE ON/OFF"},
    {1005, "QRadioButton", "SAMPLE INDICATOR"}, {-1, "QGroupBox", "DATA"},
    {1009, "QLineEdit", ""},              {-1, "QLabel", "SET TEMP"},
    {-1, "QGroupBox", "CHANNEL SETTINGS"}, {1013, "QPushButton", "SEND"},
    {1014, "QLineEdit", ""},              {-1, "QLabel", "TEMP1"},
    {1015, "QLineEdit", ""},              {-1, "QLabel", "TEMP2"},
    {1016, "QLineEdit", ""},              {1017, "QLineEdit", ""},
    {-1, "QLabel", "TEMP3"},              {-1, "QLabel", "TEMP4"},
    {1019, "QLineEdit", ""},              {1020, "QLineEdit", ""},
    {1021, "QLineEdit", ""},              {1022, "QLineEdit", ""},
    {-1, "QLabel", "TEMP"},               {-1, "QLabel", "POWER"},
    {1028, "QComboBox", "TEMP1"},         {1035, "QComboBox", ""},
    {-1, "QLabel", "OUTPUT ENABLE"},      {1045, "QRadioButton", ""},
    {1046, "QRadioButton", ""},           {1047, "QRadioButton", ""},
    {1048, "QRadioButton", ""},           {1049, "QRadioButton", ""},
    {1050, "QRadioButton", ""},           {1051, "QRadioButton", ""},
    {1052, "QRadioButton", ""},           {1053, "QRadioButton", ""},
    {1054, "QRadioButton", ""},           {1055, "QRadioButton", ""},
    {1056, "QRadioButton", ""},           {-1, "QLabel", "Sensor"},
    {-1, "QLabel", "Overtemp"},           {-1, "QLabel", "Ext. heat enable"},
    {-1, "QLabel", ""},
};

QString ShownText(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return QString();
}

int IdOf(QWidget* w, const dialogkit::DialogTemplate& tmpl, const std::vector<QWidget*>& controls)
{
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i] == w)
            return tmpl.items[i].id;
    }
    return 0;
}

} // namespace

TEST_F(PanelTest, EveryControlHasItsIdClassAndCaptionInTemplateOrder)
{
    ASSERT_EQ(Window()->Controls().size(), 49u);
    for (int i = 0; i < 49; ++i) {
        SCOPED_TRACE(i + 1);
        QWidget* control = ControlAt(i);
        EXPECT_TRUE(control->inherits(kExpected[i].qtClass)) << control->metaObject()->className();
        EXPECT_EQ(ShownText(control), QString::fromUtf8(kExpected[i].caption));
        if (kExpected[i].id != -1) {
            EXPECT_EQ(dlg->GetDlgItem(kExpected[i].id), control);
        }
    }
    EXPECT_EQ(Window()->windowTitle(), QStringLiteral("KORVANTHINE 1.2"));
}

TEST_F(PanelTest, TabOrderVisitsTheTabStopsInTemplateOrder)
{
    const std::vector<int> expected = {1001, 1025, 1043, 1033, 1003, 1004, 1009, 1013, 1014,
                                       1015, 1016, 1017, 1019, 1020, 1021, 1022, 1028, 1035};
    std::vector<int> visited;
    QWidget* start = dlg->GetDlgItem(1001);
    QWidget* w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisible())
            visited.push_back(IdOf(w, kControlPanelTemplate, Window()->Controls()));
        w = w->nextInFocusChain();
    } while (w != start && visited.size() < 60);
    visited.erase(std::remove(visited.begin(), visited.end(), 0), visited.end());
    EXPECT_EQ(visited, expected);
    // The framework's focus after initialisation: the first tab stop.
    EXPECT_EQ(Window()->focusWidget(), start);
}

TEST_F(PanelTest, RectanglesConvertFromDialogUnitsWithTheDialogFontsBaseUnits)
{
    // DejaVu Sans at 11 pixels: 52 letters average 6.8 pixels, rounded to 7; 13 high.
    const dialogkit::BaseUnits units = Window()->Units();
    ASSERT_EQ(units.cx, 7);
    ASSERT_EQ(units.cy, 13);
    struct Sample {
        int id;
        QRect pixels;
    };
    const Sample samples[] = {
        {1013, QRect(513, 278, 72, 23)}, // SEND 293,171,41,14
        {1001, QRect(37, 98, 84, 23)},   // INITIALIZE 21,60,48,14
        {1043, QRect(33, 124, 320, 23)}, // status 19,76,183,14
        {1056, QRect(371, 328, 28, 13)}, // EXTHEAT4 212,202,16,8
        {1005, QRect(39, 419, 151, 16)}, // SAMPLE INDICATOR 22,258,86,10
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.id);
        EXPECT_EQ(dlg->GetDlgItem(s.id)->geometry(), s.pixels);
    }
    // Combo boxes keep their x, y and width; the height is the closed box's.
    const QRect port = dlg->GetDlgItem(1025)->geometry();
    EXPECT_EQ(port.topLeft(), QPoint(37, 62));
    EXPECT_EQ(port.width(), 102);
    EXPECT_LT(port.height(), 83);
    // The picture (223,31,210,45) keeps its template size, the bitmap centred.
    EXPECT_EQ(ControlAt(48)->geometry(), QRect(390, 50, 368, 73));
    EXPECT_EQ(Window()->size(), QSize(901, 515)); // 515 x 317 units
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(dialogkit::MulDiv(293, 7, 4), 513);
    EXPECT_EQ(dialogkit::MulDiv(2, 7, 4), 4);   // 3.5
    EXPECT_EQ(dialogkit::MulDiv(-2, 7, 4), -4); // -3.5
    EXPECT_EQ(dialogkit::MulDiv(1, 13, 8), 2);  // 1.625
    EXPECT_EQ(dialogkit::MulDiv(5, 1, 0), -1);
}

TEST_F(PanelTest, NoCaptionIsClippedInEitherDialog)
{
    EXPECT_TRUE(dialogkit::CaptionsFit(kControlPanelTemplate, Window()->font()));
    EXPECT_TRUE(dialogkit::CaptionsFit(kAboutBoxTemplate, dialogkit::DialogFontFor(kAboutBoxTemplate)));
    // And as the widgets themselves measure it.
    for (QWidget* control : Window()->Controls()) {
        if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && !label->text().isEmpty()) {
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(control); button != nullptr && !button->text().isEmpty()) {
            SCOPED_TRACE(button->text().toStdString());
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width());
        }
    }
}

TEST_F(PanelTest, GroupBoxesLieBeneathTheControlsTheyFrame)
{
    QWidget* client = Window()->Client();
    for (int id : {1001, 1025, 1033, 1003, 1004, 1005, 1009, 1013, 1028, 1045}) {
        QWidget* control = dlg->GetDlgItem(id);
        QWidget* hit = client->childAt(control->geometry().center());
        EXPECT_TRUE(hit == control || control->isAncestorOf(hit)) << id;
    }
}

TEST_F(PanelTest, ListsHoldTheirInitialItemsInOrder)
{
    QComboBox* port = Combo(IDC_PORT);
    ASSERT_EQ(port->count(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(port->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_EQ(Combo(IDC_CHANNEL)->count(), 4);
    EXPECT_EQ(Combo(IDC_CHANNEL)->itemText(3), QStringLiteral("TEMP4"));
    ASSERT_EQ(Combo(IDC_OUTPUT_ENABLE)->count(), 2);
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->itemText(0), QStringLiteral("DISABLE"));
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->itemText(1), QStringLiteral("ENABLE"));
}

TEST_F(PanelTest, DroppedListsEndWithinTheirTemplateHeightAndScroll)
{
    // 51 units, the closed box included; only the port list holds more than fits.
    const int templateBottom = dialogkit::MapDialogRect(Window()->Units(), 0, 0, 58, 51).height();
    for (int id : {IDC_PORT, IDC_CHANNEL, IDC_OUTPUT_ENABLE}) {
        QComboBox* combo = Combo(id);
        combo->showPopup();
        const int bottom = combo->view()->window()->geometry().bottom() + 1 - combo->mapToGlobal(QPoint()).y();
        EXPECT_LE(bottom, templateBottom) << id;
        EXPECT_TRUE(id != IDC_PORT || bottom > templateBottom - 20) << "a row short of the end: " << bottom;
        EXPECT_EQ(combo->view()->verticalScrollBar()->isVisible(), id == IDC_PORT) << id;
        combo->hidePopup();
    }
}

TEST_F(PanelTest, FirstContentsFollowTheConstructionValues)
{
    EXPECT_EQ(Combo(IDC_PORT)->currentIndex(), -1);
    EXPECT_EQ(Combo(IDC_CHANNEL)->currentIndex(), 0);
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->currentIndex(), -1);
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
    for (int id : {1043, 1014, 1015, 1016, 1017, 1019, 1020, 1021, 1022, 1009})
        EXPECT_TRUE(Edit(id)->text().isEmpty()) << id;
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        EXPECT_FALSE(Checked(id)) << id;
    EXPECT_FALSE(Checked(IDC_SAMPLE_INDICATOR));
    auto* progress = qobject_cast<QProgressBar*>(dlg->GetDlgItem(IDC_PROGRESS));
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_TRUE(dlg->m_progress.IsAttached());
    EXPECT_EQ(dlg->m_nOutputEnable, -1);
    EXPECT_EQ(dlg->m_nScrollPos, 0);
    EXPECT_FALSE(dlg->m_bSampling);
}

namespace {

QByteArray Resource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned Le(const QByteArray& data, int offset, int bytes)
{
    unsigned value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
    return value;
}

} // namespace

TEST(PanelResources, PictureIs254By54UncompressedBottomUp24Bits)
{
    const QByteArray bmp = Resource(":/dialogkit/panel_picture.bmp");
    ASSERT_EQ(bmp.size(), 14 + 40 + 41256);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(Le(bmp, 10, 4), 54u);          // no colour table
    EXPECT_EQ(Le(bmp, 14, 4), 40u);          // BITMAPINFOHEADER
    EXPECT_EQ(Le(bmp, 18, 4), 254u);
    EXPECT_EQ(Le(bmp, 22, 4), 54u);          // positive: bottom-up
    EXPECT_EQ(Le(bmp, 28, 2), 24u);
    EXPECT_EQ(Le(bmp, 30, 4), 0u);           // BI_RGB
    EXPECT_EQ(Le(bmp, 34, 4), 764u * 54u);   // 764-byte rows
    EXPECT_EQ(Le(bmp, 38, 4), 2834u);
    EXPECT_EQ(Le(bmp, 42, 4), 2834u);
    EXPECT_EQ(LoadResBitmap(IDB_PANEL_PICTURE).size(), QSize(254, 54));
}

TEST(PanelResources, IconGroupHasA32And16PixelImageOf16Colours)
{
    const QByteArray ico = Resource(":/dialogkit/korvanthine.ico");
    ASSERT_GT(ico.size(), 6 + 32);
    EXPECT_EQ(Le(ico, 2, 2), 1u); // icon
    ASSERT_EQ(Le(ico, 4, 2), 2u); // two images
    for (int entry = 0; entry < 2; ++entry) {
        const int at = 6 + 16 * entry;
        const unsigned size = entry == 0 ? 32u : 16u;
        EXPECT_EQ(Le(ico, at, 1), size);
        EXPECT_EQ(Le(ico, at + 1, 1), size);
        EXPECT_EQ(Le(ico, at + 2, 1), 16u); // colours
        EXPECT_EQ(Le(ico, at + 6, 2), 4u);  // bits per pixel
        const int image = static_cast<int>(Le(ico, at + 12, 4));
        EXPECT_EQ(Le(ico, image + 14, 2), 4u);
    }
    const QList<QSize> sizes = LoadResIcon(IDR_MAINFRAME).availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(LoadResIcon(999).isNull());
}

TEST(PanelResources, StringTableHoldsTheAboutItem)
{
    EXPECT_EQ(LoadResString(IDS_ABOUTBOX), "&About KORVANTHINE...");
    EXPECT_TRUE(LoadResString(1).IsEmpty());
}

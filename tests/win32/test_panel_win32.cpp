// What the Win32 half does with the panel: the platform's controls from the
// template, the message map, the data exchange, timers, the system menu and
// the window's own scroll bar. The handlers' logic is the Qt half's tests'.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "comm_port.h"
#include "frame_codec.h"
#include "control_panel_app.h"
#include "control_panel_dlg.h"
#include "ctl_process.h"
#include "panel_resources.h"
#include "shared_line.h"
#include "shared_line_protocol.h"
#include "sim_harness.h"

namespace {

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Runs the message loop until done() holds or the bound passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

// The command codes of the logged requests: "*" + address + code ...
std::vector<std::string> Codes(const std::vector<std::string>& requests)
{
    std::vector<std::string> codes;
    for (const std::string& request : requests)
        codes.push_back(request.size() > 5 ? request.substr(3, 2) : request);
    return codes;
}

class PanelWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.Error();
        ASSERT_TRUE(sim.Command("freeze 1"));
        ASSERT_TRUE(dlg.Create());
        dlg.ShowWindow();
        hwnd = dlg.GetSafeHwnd();
    }
    void TearDown() override
    {
        dlg.DestroyWindow();
        CloseCommPort();
    }

    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    std::string Text(int id) const { return TextOf(Item(id)); }
    LRESULT Send(int id, UINT message, WPARAM w = 0, LPARAM l = 0) { return SendMessageA(Item(id), message, w, l); }
    void Choose(int id, int index)
    {
        Send(id, CB_SETCURSEL, static_cast<WPARAM>(index));
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
    }
    void Click(int id) { Send(id, BM_CLICK); }

    SimHarness sim;
    CControlPanelDlg dlg;
    HWND hwnd = nullptr;
};

TEST_F(PanelWin32, TheTemplatesControlsArePlatformControlsInOrder)
{
    const dialogkit::DialogTemplate& tmpl = kControlPanelTemplate;
    std::vector<HWND> children;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    ASSERT_EQ(children.size(), 49u);
    const char* const classes[] = {"Button", "Edit", "Static", "ComboBox", "msctls_progress32"};
    for (std::size_t i = 0; i < children.size(); ++i) {
        const dialogkit::DialogItemTemplate& item = tmpl.items[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(children[i]))), item.id);
        EXPECT_EQ(ClassOf(children[i]), classes[static_cast<int>(item.cls)]);
        if (item.cls == dialogkit::ControlClass::Button ||
            (item.cls == dialogkit::ControlClass::Static && (item.style & SS_TYPEMASK) == SS_LEFT)) {
            EXPECT_EQ(TextOf(children[i]), item.caption);
        }
        RECT expected{item.x, item.y, item.x + item.cx, item.y + item.cy};
        MapDialogRect(hwnd, &expected);
        RECT actual;
        GetWindowRect(children[i], &actual);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
    }
    EXPECT_EQ(Send(IDC_PORT, CB_GETCOUNT), 20);
    EXPECT_EQ(Send(IDC_CHANNEL, CB_GETCOUNT), 4);
    EXPECT_EQ(Send(IDC_OUTPUT_ENABLE, CB_GETCOUNT), 2);
    EXPECT_EQ(Send(IDC_CHANNEL, CB_GETCURSEL), 0); // m_nChannel 0
    EXPECT_EQ(LoadResString(IDS_ABOUTBOX), "&About KORVANTHINE...");
}

// OPEN FAIL is the Qt half's test: Wine opens a COM name whose device is
// gone or missing (it falls back to a serial device of its own).
TEST_F(PanelWin32, PortChoiceOpensThePort)
{
    Choose(IDC_PORT, 0);
    EXPECT_EQ(Text(IDC_STATUS), "OPEN OK");
    EXPECT_NE(g_hComm, kNoPort);
}

TEST_F(PanelWin32, CommCheckShowsTheVersionOrTheErrorWithinItsBound)
{
    ASSERT_TRUE(sim.Command("set version 4660"));
    Choose(IDC_PORT, 0);
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Text(IDC_STATUS), "COMM OK      ");
    EXPECT_EQ(Text(IDC_VERSION), "4660");

    ASSERT_TRUE(sim.Command("fault silence"));
    const auto start = std::chrono::steady_clock::now();
    Click(IDC_COMMCHECK);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(Text(IDC_STATUS), "COMM ERROR!!!");
    EXPECT_EQ(Text(IDC_VERSION), "0");
    EXPECT_LT(took, std::chrono::milliseconds(6200 + 1500));
}

TEST_F(PanelWin32, OneSamplingTickFormatsTheValuesAndSetsTheLamps)
{
    ASSERT_TRUE(sim.Command("set temp 1 2534"));
    ASSERT_TRUE(sim.Command("set power 1 511"));
    ASSERT_TRUE(sim.Command("set status 1 7"));
    Choose(IDC_PORT, 0);
    ASSERT_TRUE(sim.Command("clearlog"));
    Click(IDC_SAMPLE);
    EXPECT_EQ(Send(IDC_SAMPLE_INDICATOR, BM_GETCHECK), BST_CHECKED);
    ASSERT_TRUE(PumpUntil([&] { return !Text(IDC_TEMP2).empty(); }, 5000));
    Click(IDC_SAMPLE); // off: no second pass
    EXPECT_EQ(Text(IDC_TEMP2), " 25.34");
    EXPECT_EQ(Text(IDC_POWER2), " 100.0");
    // Status 7 on channel 2 lights its three lamps; each lamp keeps the
    // state its own status bit gave it.
    for (int id : {IDC_SENSOR2, IDC_OVERTEMP2, IDC_EXTHEAT2})
        EXPECT_EQ(Send(id, BM_GETCHECK), BST_CHECKED) << id;
    EXPECT_EQ(Send(IDC_OVERTEMP4, BM_GETCHECK), BST_UNCHECKED);
    // And its keyboard behaviour: an auto radio button still, a tab stop
    // when lit and none when dark, as the button makes a radio button it
    // checks or clears.
    for (const auto& [id, lit] : {std::pair{IDC_SENSOR2, true}, std::pair{IDC_OVERTEMP4, false}}) {
        const LONG style = GetWindowLongA(Item(id), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << id;
        EXPECT_EQ((style & WS_TABSTOP) != 0, lit) << id;
    }
    EXPECT_EQ(Send(IDC_PROGRESS, PBM_GETPOS), 0);
    ASSERT_TRUE(sim.WaitForRequests(12));
    const std::vector<std::string> codes = Codes(sim.Requests());
    ASSERT_GE(codes.size(), 12u);
    EXPECT_EQ(codes[0], "01");
    EXPECT_EQ(codes[11], codes[8]);
}

TEST_F(PanelWin32, ChannelChoiceReadsAndSendWritesInOrder)
{
    Choose(IDC_PORT, 0);
    ASSERT_TRUE(sim.Command("clearlog"));
    Choose(IDC_CHANNEL, 2);
    ASSERT_TRUE(sim.WaitForRequests(2));
    EXPECT_EQ(Codes(sim.Requests()), (std::vector<std::string>{"51", "56"}));

    ASSERT_TRUE(sim.Command("clearlog"));
    SendMessageA(Item(IDC_SETTEMP), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("30.5"));
    Click(IDC_SEND);
    ASSERT_TRUE(sim.WaitForRequests(3));
    EXPECT_EQ(Codes(sim.Requests()), (std::vector<std::string>{"20", "31", "36"}));
    EXPECT_EQ(Text(IDC_STATUS), "");
}

// korvanthine-ctl.exe serve holds COM1: the panel goes through its named
// pipe, shows what it shows on a free port, and its requests reach the
// line whole between serve's; serve stopping looks like a device gone.
TEST_F(PanelWin32, ThroughServesPipeThePanelChecksSendsAndSamplesAsOnAFreePort)
{
    ASSERT_TRUE(sim.Command("set temp 1 2534"));
    CtlProcess serve({"serve", "-p", "COM1", "--interval", "0.25", "--listen", "127.0.0.1:0"});
    ASSERT_TRUE(serve.Started());
    ASSERT_TRUE(PumpUntil([] { return ServeHoldsPort("COM1"); }, 15000)) << serve.Finish(0).err;

    Choose(IDC_PORT, 0);
    EXPECT_EQ(Text(IDC_STATUS), "OPEN OK");
    EXPECT_TRUE(g_bSharedLine);
    ASSERT_TRUE(sim.Command("clearlog"));
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Text(IDC_STATUS), "COMM OK      ");
    EXPECT_EQ(Text(IDC_VERSION), "258");
    SendMessageA(Item(IDC_SETTEMP), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("30.5"));
    Click(IDC_SEND);
    Click(IDC_SAMPLE);
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_TEMP2) == " 25.34"; }, 5000));
    Click(IDC_SAMPLE);

    std::vector<std::string> writes;
    std::size_t setTemperatureReads = 0;
    for (const std::string& request : sim.Requests()) {
        EXPECT_TRUE(shared_line::IsCommandSetRequest(request)) << request;
        const std::string code = request.substr(3, 2);
        if (code == "20" || code == "31" || code == "36")
            writes.push_back(code);
        setTemperatureReads += code == "51" ? 1 : 0;
    }
    EXPECT_EQ(writes, (std::vector<std::string>{"20", "31", "36"}));
    EXPECT_GE(setTemperatureReads, 4u); // serve's passes went on

    // Wine gives a program started without a console no console events to
    // stop it by: serve ends as a crash ends it, its pipe breaking.
    const std::string log = serve.Finish(0).err;
    // The audit names the writer's account and program, not a bare process id.
    EXPECT_NE(log.find("write by user "), std::string::npos) << log;
    EXPECT_NE(log.find(" (test_panel_win32.exe): "), std::string::npos) << log;
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Text(IDC_STATUS), "COMM ERROR!!!");
    Choose(IDC_PORT, 0);
    EXPECT_EQ(Text(IDC_STATUS), "OPEN OK");
    EXPECT_FALSE(g_bSharedLine);
    // A serve that ends as a crash ends may leave the first characters of a
    // request on the line (it writes a frame one character at a time). The
    // controller takes everything up to a carriage return as one request, so
    // those characters and the panel's next request make one it does not
    // answer; that carriage return ends them, and the exchange after it is
    // clean. At most that one exchange fails, and only that way.
    ASSERT_TRUE(sim.Command("clearlog"));
    Click(IDC_COMMCHECK);
    if (Text(IDC_STATUS) != "COMM OK      ") {
        EXPECT_EQ(Text(IDC_STATUS), "COMM ERROR!!!");
        ASSERT_TRUE(sim.WaitForRequests(1));
        const std::vector<std::string> requests = sim.Requests();
        const std::string joined = requests.front();
        EXPECT_FALSE(shared_line::IsCommandSetRequest(joined)) << joined;
        EXPECT_EQ(joined.substr(joined.rfind('*')), "*0000c0\r") << joined;
        Click(IDC_COMMCHECK);
    }
    EXPECT_EQ(Text(IDC_STATUS), "COMM OK      ");
}

TEST_F(PanelWin32, SystemMenuCommandOpensTheAboutBoxOnlyForItsId)
{
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    const int count = GetMenuItemCount(menu);
    char last[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(count - 1), last, sizeof last, MF_BYPOSITION);
    EXPECT_STREQ(last, "&About KORVANTHINE...");

    static std::string seen;
    const struct {
        UINT command;
        bool opens;
    } cases[] = {{0x0010, true}, {0x001F, true}, {0x0020, false}};
    for (const auto& c : cases) {
        seen.clear();
        // The About box's modal loop runs this timer: it looks and closes.
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
            if (HWND about = FindWindowA(nullptr, "About KORVANTHINE")) {
                seen = TextOf(GetDlgItem(about, IDOK));
                SendMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
        });
        SendMessageA(hwnd, WM_SYSCOMMAND, c.command, 0);
        KillTimer(nullptr, timer);
        EXPECT_EQ(seen, c.opens ? "OK" : "") << c.command;
    }
}

// While the prompt of a failed transfer is open, a close request from the
// dialog manager still reaches the panel; a control's notification waits.
TEST_F(PanelWin32, DuringATransferOnlyControlNotificationsWait)
{
    SendMessageA(Item(IDC_VERSION), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("12a"));
    static HWND panel;
    static bool prompted;
    panel = hwnd;
    prompted = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND prompt = FindWindowA("#32770", "KORVANTHINE");
        if (prompt == nullptr || prompted)
            return;
        prompted = true;
        HWND port = GetDlgItem(panel, IDC_PORT);
        SendMessageA(port, CB_SETCURSEL, 0, 0);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(port));
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        SendMessageA(prompt, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    KillTimer(nullptr, timer);
    ASSERT_TRUE(prompted);
    EXPECT_EQ(g_hComm, kNoPort);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.GetResult(), IDCANCEL);
}

TEST_F(PanelWin32, ALowerWindowGetsTheScrollRangeAndPages)
{
    RECT outer;
    GetWindowRect(hwnd, &outer);
    const int height = outer.bottom - outer.top;
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, height - 300, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(hwnd, &client);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(hwnd, SB_VERT, &si));
    const int range = height - client.bottom;
    EXPECT_EQ(si.nMax, range);
    EXPECT_EQ(static_cast<int>(si.nPage), range / 10);

    RECT before, after;
    GetWindowRect(Item(IDC_INITIALIZE), &before);
    SendMessageA(hwnd, WM_VSCROLL, SB_PAGEDOWN, 0);
    GetWindowRect(Item(IDC_INITIALIZE), &after);
    EXPECT_EQ(before.top - after.top, range / 10);
    EXPECT_EQ(GetScrollPos(hwnd, SB_VERT), range / 10);
}

// Enter in an edit and Escape end the program, the port closed.
TEST(PanelWin32App, EnterAndEscapeEndTheProgramWithThePortClosed)
{
    SimHarness sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        static WPARAM pressed;
        static bool wasOpen;
        pressed = key;
        wasOpen = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
            HWND panel = FindWindowA(nullptr, "KORVANTHINE 1.2");
            if (panel == nullptr || wasOpen)
                return;
            HWND port = GetDlgItem(panel, IDC_PORT);
            SendMessageA(port, CB_SETCURSEL, 0, 0);
            SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(port));
            wasOpen = g_hComm != kNoPort;
            HWND edit = GetDlgItem(panel, IDC_TEMP1);
            SetFocus(edit);
            PostMessageA(edit, WM_KEYDOWN, pressed, 0);
        });
        CControlPanelApp app;
        EXPECT_FALSE(app.InitInstance());
        KillTimer(nullptr, timer);
        EXPECT_TRUE(wasOpen) << key;
        EXPECT_EQ(g_hComm, kNoPort) << key;
    }
}

} // namespace

// Not a test: the figure of what the panel adds to the link's sampling pass
// under Wine. Run with --gtest_also_run_disabled_tests.
TEST_F(PanelWin32, DISABLED_SamplingPassFigure)
{
    Choose(IDC_PORT, 0);
    using Ms = std::chrono::duration<double, std::milli>;
    std::vector<double> link, panel;
    for (int round = 0; round < 40; ++round) {
        auto start = std::chrono::steady_clock::now();
        char body[16];
        for (const char* code : {CMD_READ_TEMP, CMD_READ_POWER, CMD_READ_STATUS})
            for (int ch = 0; ch < 4; ++ch) {
                std::snprintf(body, sizeof body, "%s%08x", code, static_cast<unsigned>(ch));
                QueryController(body);
            }
        link.push_back(Ms(std::chrono::steady_clock::now() - start).count());
        start = std::chrono::steady_clock::now();
        dlg.OnTimer(SAMPLE_TIMER_ID);
        dlg.UpdateWindow();
        panel.push_back(Ms(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(link.begin(), link.end());
    std::sort(panel.begin(), panel.end());
    std::printf("link alone median %.3f ms, panel tick median %.3f ms, added %.3f ms\n", link[20], panel[20],
                panel[20] - link[20]);
}

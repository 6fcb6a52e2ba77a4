// Looks at tarvel.exe's window from another process through the Win32 API,
// as a user's tools would, for form-test.sh:
//
//   form_check window          waits for Form1 and checks its frame, its
//                              controls (class, position, text, items,
//                              selection, limits) and the tab order; prints
//                              "RECT left top right bottom" of the window
//   form_check close           closes Form1 as its close button would
//   form_check hidden          waits until Form1 exists and has gone hidden
//   form_check errorbox TEXT   waits for the error box, checks its caption,
//                              text ("\n" for a line break) and OK button,
//                              and presses OK
//
// Exit status 0 when everything holds; every failure is printed.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD WaitMs = 30000;
int failures = 0;

void Fail(const std::string& what)
{
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
}

void Expect(bool ok, const std::string& what)
{
    if (!ok)
        Fail(what);
}

template <typename T>
void ExpectEq(const T& actual, const T& expected, const std::string& what)
{
    if (!(actual == expected))
        Fail(what);
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string WindowText(HWND window)
{
    char text[4096] = {};
    // WM_GETTEXT is carried across processes; GetWindowText is not for
    // controls of another process.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND WaitForForm()
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitMs) {
        if (HWND form = FindWindowA("TForm1", "tarvel"))
            return form;
        Sleep(50);
    }
    return nullptr;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

RECT ClientPosition(HWND form, HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Across processes Wine hands the item back in UTF-16 whichever
        // form was asked for, so ask for that.
        wchar_t item[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        char ansi[512] = {};
        WideCharToMultiByte(CP_ACP, 0, item, -1, ansi, sizeof ansi, nullptr, nullptr);
        items.push_back(ansi);
    }
    return items;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string all;
    for (const std::string& item : items)
        all += (all.empty() ? "" : ",") + Quote(item);
    return all;
}

const char* const HelpText =
    " -- Please use the following parameters for auto run--\r\n"
    " tarvel.exe SerialPort FillZeroLength AutoEnter CardFormat\r\n"
    "\r\n"
    " SerialPort : com1 .. com16\r\n"
    " FillZeroLength : 0 .. 20\r\n"
    " AutoEnter : 0 - disable, 1 - enable\r\n"
    " CardFormat : 1 : direct convert: 4bytes HEX to 10 digit Decimal\r\n"
    "                     2 : reverse convert : 4 bytes HEX to 10 digit Decimal - ABCDEFGH(card)->HGFEDCBA(card)\r\n"
    "                     3 : AABBCCDD(card) - cut first AA, BBCCDD(card), BB(HEX) to 187(decimal), CCDD(HEX) to "
    "52445(decimal), then combine 18752445(output)\r\n"
    "                     4 : AABBCCDD(card) - AABB(Hex) to 43707(decimal), CCDD(Hex) to 52445(decimal), then combine "
    "4370752445(output)\r\n"
    "                     5 : AABBCCDD(card) - cut first AABB, CCDD(card), CCDD(Hex) to 52445(decimal), 52445(output)\r\n"
    "                     6 : AABBCCDD(card) - cut first AA, BBCCDD(card), BBCCDD(Hex) to 12307677(decimal), "
    "12307677(output)\r\n"
    "                     7 : AABBCCDDEE(card) - AA->170, BBCCDDEE(Hex) to 3150765550(decimal), 1703150765550 13 digits "
    "(output)\r\n"
    "                     8 : Wiegand 25 bit\r\n"
    "                     9 : 4 Bytes hex\r\n"
    "                   10 : similar to format 3, 187 + TAB + 52445\r\n"
    "                   11 : AABBCCDD(card) - cut first AABB, CCDD(card), AABB to 43707, CCDD(Hex) to 52445(decimal),\r\n"
    "                          Output last 6 digits 752445\r\n"
    "                   12 : 7 Bytes Card  14 Hex\r\n"
    "                   13 : 26 bit input, output 128,12345\r\n"
    "                   14 : \"F\"+4 Bytes hex\r\n"
    "\r\n"
    " Default : tarvel.exe com1 10 1 1";

struct Expected {
    const char* role;  // what the control is, for messages
    const char* className;
    RECT position;  // in the client area; combo boxes: the height of the closed box is not checked
    std::string text;
};

int CheckWindow()
{
    HWND form = WaitForForm();
    if (form == nullptr) {
        Fail("no window of class TForm1 titled tarvel came up");
        return 1;
    }
    // The timer may hide and show it again once; wait until it stays shown.
    const DWORD start = GetTickCount();
    while (!IsWindowVisible(form) && GetTickCount() - start < WaitMs)
        Sleep(50);
    Sleep(500);
    Expect(IsWindowVisible(form) != FALSE, "the window is visible");

    RECT client{};
    GetClientRect(form, &client);
    ExpectEq(client.right - client.left, 751L, "client width 751");
    ExpectEq(client.bottom - client.top, 392L, "client height 392");
    RECT frame{};
    GetWindowRect(form, &frame);
    ExpectEq(frame.left, 239L, "window left 239");
    ExpectEq(frame.top, 127L, "window top 127");
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    Expect((style & WS_CAPTION) == WS_CAPTION, "caption");
    Expect((style & WS_SYSMENU) != 0, "system menu");
    Expect((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0,
           "no sizing border, no minimise or maximise box");
    std::printf("RECT %ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);

    std::vector<HWND> children = Children(form);
    // Created in tab order; the labels after the tab stops.
    const Expected expected[] = {
        {"Memo1", "Edit", {8, 16, 745, 313}, HelpText},
        {"ComboBox1", "ComboBox", {80, 360, 137, 0}, "COM1"},
        {"ComboBox2", "ComboBox", {328, 360, 417, 0}, "1 - enable"},
        {"Edit1", "Edit", {232, 360, 257, 381}, "10"},
        {"ComboBox3", "ComboBox", {488, 360, 529, 0}, ""},
        {"BitBtn1", "Button", {664, 360, 739, 385}, "RUN"},
        {"Label1", "Static", {16, 362, 76, 375}, "COM PORT:"},
        {"Label2", "Static", {152, 362, 228, 375}, "Fill Zero Length:"},
        {"Label3", "Static", {272, 362, 325, 375}, "Auto Enter:"},
        {"Label4", "Static", {424, 362, 484, 375}, "Card Format:"},
    };
    // Children of the combo boxes (their edit or list parts) are not controls of the form.
    std::vector<HWND> controls;
    for (HWND child : children)
        if (GetParent(child) == form)
            controls.push_back(child);
    if (controls.size() != sizeof expected / sizeof expected[0]) {
        Fail("the window has " + std::to_string(controls.size()) + " controls, not 10");
        return 1;
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Expected& e = expected[i];
        HWND c = controls[i];
        const std::string role = e.role;
        ExpectEq(ClassOf(c), std::string(e.className), role + " is a " + e.className + " (is " + ClassOf(c) + ")");
        const RECT r = ClientPosition(form, c);
        const bool combo = std::strcmp(e.className, "ComboBox") == 0;
        Expect(r.left == e.position.left && r.top == e.position.top && r.right == e.position.right &&
                   (combo || r.bottom == e.position.bottom),
               role + " at " + std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) +
                   "," + std::to_string(r.bottom));
        if (!combo)
            ExpectEq(WindowText(c), e.text, role + " text " + Quote(WindowText(c)));
        Expect(IsWindowVisible(c) != FALSE, role + " is visible");
    }

    HWND memo = controls[0];
    const LONG memoStyle = GetWindowLongA(memo, GWL_STYLE);
    Expect((memoStyle & ES_MULTILINE) && (memoStyle & ES_READONLY), "Memo1 is multi-line and read-only");
    Expect(!(memoStyle & (WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL)),
           "Memo1 has no border, no scroll bars and wraps its lines");
    Expect(!(GetWindowLongA(memo, GWL_EXSTYLE) & WS_EX_CLIENTEDGE), "Memo1 has no sunken edge");
    Expect(!(SendMessageA(memo, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL), "tabbing into Memo1 does not select its text");
    Expect((SendMessageA(controls[3], WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0,
           "tabbing into Edit1 selects its text");

    std::vector<std::string> com;
    for (int n = 1; n <= 16; ++n)
        com.push_back("COM" + std::to_string(n));
    HWND ports = controls[1];
    ExpectEq(ComboItems(ports), com, "ComboBox1 items " + Joined(ComboItems(ports)));
    ExpectEq(SendMessageA(ports, CB_GETCURSEL, 0, 0), LRESULT{0}, "ComboBox1 shows COM1");
    HWND autoEnter = controls[2];
    ExpectEq(ComboItems(autoEnter), (std::vector<std::string>{"0 - disable", "1 - enable"}),
             "ComboBox2 items " + Joined(ComboItems(autoEnter)));
    ExpectEq(SendMessageA(autoEnter, CB_GETCURSEL, 0, 0), LRESULT{1}, "ComboBox2 shows 1 - enable");
    HWND formats = controls[4];
    ExpectEq(
        ComboItems(formats),
        (std::vector<std::string>{" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", "10", "11", "12", "13", "14"}),
        "ComboBox3 items " + Joined(ComboItems(formats)));
    ExpectEq(SendMessageA(formats, CB_GETCURSEL, 0, 0), LRESULT{CB_ERR}, "ComboBox3 has no selection");
    for (HWND combo : {ports, autoEnter, formats}) {
        const LONG comboStyle = GetWindowLongA(combo, GWL_STYLE);
        Expect((comboStyle & 3) == CBS_DROPDOWNLIST, "drop-down lists without free text");
    }
    Expect((GetWindowLongA(formats, GWL_STYLE) & CBS_SORT) != 0, "ComboBox3 is sorted");

    HWND edit = controls[3];
    ExpectEq(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), LRESULT{2}, "Edit1 takes at most 2 characters");

    HWND run = controls[5];
    Expect((GetWindowLongA(run, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON, "BitBtn1 is the default button");
    ExpectEq(LOWORD(SendMessageA(form, DM_GETDEFID, 0, 0)), static_cast<WORD>(GetDlgCtrlID(run)),
             "the window names BitBtn1 as its default button");

    // Tab from Memo1 runs through the tab stops and back.
    std::vector<std::string> order;
    HWND at = memo;
    for (int i = 0; i < 6; ++i) {
        at = GetNextDlgTabItem(form, at, FALSE);
        std::string role = "?";
        for (std::size_t k = 0; k < controls.size(); ++k)
            if (controls[k] == at)
                role = expected[k].role;
        order.push_back(role);
    }
    ExpectEq(order, (std::vector<std::string>{"ComboBox1", "ComboBox2", "Edit1", "ComboBox3", "BitBtn1", "Memo1"}),
             "tab order " + Joined(order));
    for (std::size_t k = 6; k < controls.size(); ++k)
        Expect(!(GetWindowLongA(controls[k], GWL_STYLE) & WS_TABSTOP),
               std::string(expected[k].role) + " is no tab stop");
    return failures == 0 ? 0 : 1;
}

int Close()
{
    HWND form = WaitForForm();
    if (form == nullptr) {
        Fail("no window to close");
        return 1;
    }
    PostMessageA(form, WM_CLOSE, 0, 0);
    return 0;
}

// The window exists and has gone hidden; the script checks the port from
// the other end (this Wine does not refuse a second opening of a serial
// device).
int CheckHidden()
{
    HWND form = WaitForForm();
    if (form == nullptr) {
        Fail("no window of class TForm1 titled tarvel came up");
        return 1;
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitMs) {
        if (!IsWindowVisible(form)) {
            // Still hidden a moment later: the timer has done its work.
            Sleep(500);
            if (!IsWindowVisible(form) && IsWindow(form))
                return 0;
        }
        Sleep(50);
    }
    Fail("the window did not go hidden");
    return 1;
}

int CheckErrorBox(std::string expected)
{
    for (std::size_t at = expected.find("\\n"); at != std::string::npos; at = expected.find("\\n", at + 1))
        expected.replace(at, 2, "\n");
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (box == nullptr && GetTickCount() - start < WaitMs) {
        box = FindWindowA("#32770", "tarvel");
        if (box == nullptr)
            Sleep(50);
    }
    if (box == nullptr) {
        Fail("no error box titled tarvel came up");
        return 1;
    }
    Sleep(200);  // fully built
    std::string text;
    HWND ok = nullptr;
    int buttons = 0;
    bool icon = false;
    for (HWND child : Children(box)) {
        const std::string cls = ClassOf(child);
        if (cls == "Button") {
            ++buttons;
            ok = child;
            ExpectEq(WindowText(child), std::string("OK"), "the box's button is OK, not " + Quote(WindowText(child)));
        } else if (cls == "Static") {
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = true;
            else if (!WindowText(child).empty())
                text = WindowText(child);
        }
    }
    ExpectEq(text, expected, "the box says " + Quote(text) + ", expected " + Quote(expected));
    ExpectEq(buttons, 1, "one button");
    Expect(icon, "the box shows an icon");
    if (ok != nullptr)
        PostMessageA(ok, BM_CLICK, 0, 0);
    else
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "window")
        status = CheckWindow();
    else if (mode == "close")
        status = Close();
    else if (mode == "hidden")
        status = CheckHidden();
    else if (mode == "errorbox" && argc > 2)
        status = CheckErrorBox(argv[2]);
    else
        std::printf("usage: form_check window | close | hidden | errorbox TEXT\n");
    std::fflush(stdout);
    return status;
}

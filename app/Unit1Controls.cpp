#include "app/Unit1Controls.h"

#include <string_view>

namespace {

struct HelpLine {
    int blanks;  // leading blanks
    std::string_view text;
};

// The lines that name the program and its ports: on Linux the program is
// "tarvel" and COMn stands for /dev/ttyS(n-1) beside devices by name.
#ifdef _WIN32
constexpr std::string_view RunLine = "tarvel.exe SerialPort FillZeroLength AutoEnter CardFormat";
constexpr std::string_view PortsLine = "SerialPort : com1 .. com16";
constexpr std::string_view DefaultLine = "Default : tarvel.exe com1 10 1 1";
#else
constexpr std::string_view RunLine = "tarvel SerialPort FillZeroLength AutoEnter CardFormat";
constexpr std::string_view PortsLine =
    "SerialPort : com1 .. com16 (/dev/ttyS0 .. /dev/ttyS15) or a device such as /dev/ttyUSB0";
constexpr std::string_view DefaultLine = "Default : tarvel com1 10 1 1";
#endif

// Each line as its number of leading blanks and its text.
constexpr HelpLine Help[] = {
    {1, "-- Please use the following parameters for auto run--"},
    {1, RunLine},
    {0, ""},
    {1, PortsLine},
    {1, "FillZeroLength : 0 .. 20"},
    {1, "AutoEnter : 0 - disable, 1 - enable"},
    {1, "CardFormat : 1 : direct convert: 4bytes HEX to 10 digit Decimal"},
    {21, "2 : reverse convert : 4 bytes HEX to 10 digit Decimal - ABCDEFGH(card)->HGFEDCBA(card)"},
    {21,
     "3 : AABBCCDD(card) - cut first AA, BBCCDD(card), BB(HEX) to 187(decimal), CCDD(HEX) to "
     "52445(decimal), then combine 18752445(output)"},
    {21,
     "4 : AABBCCDD(card) - AABB(Hex) to 43707(decimal), CCDD(Hex) to 52445(decimal), then "
     "combine 4370752445(output)"},
    {21, "5 : AABBCCDD(card) - cut first AABB, CCDD(card), CCDD(Hex) to 52445(decimal), 52445(output)"},
    {21,
     "6 : AABBCCDD(card) - cut first AA, BBCCDD(card), BBCCDD(Hex) to 12307677(decimal), "
     "12307677(output)"},
    {21,
     "7 : AABBCCDDEE(card) - AA->170, BBCCDDEE(Hex) to 3150765550(decimal), 1703150765550 13 "
     "digits (output)"},
    {21, "8 : Wiegand 25 bit"},
    {21, "9 : 4 Bytes hex"},
    {19, "10 : similar to format 3, 187 + TAB + 52445"},
    {19, "11 : AABBCCDD(card) - cut first AABB, CCDD(card), AABB to 43707, CCDD(Hex) to 52445(decimal),"},
    {26, "Output last 6 digits 752445"},
    {19, "12 : 7 Bytes Card  14 Hex"},
    {19, "13 : 26 bit input, output 128,12345"},
    {19, "14 : \"F\"+4 Bytes hex"},
    {0, ""},
    {1, DefaultLine},
};

std::vector<std::string> BuildHelpLines()
{
    std::vector<std::string> lines;
    for (const HelpLine& line : Help)
        lines.push_back(std::string(static_cast<std::size_t>(line.blanks), ' ') + std::string(line.text));
    return lines;
}

std::vector<std::string> Numbered(std::string_view prefix, int from, int to, bool blankBeforeOneDigit)
{
    std::vector<std::string> items;
    for (int n = from; n <= to; ++n)
        items.push_back(std::string(prefix) + (blankBeforeOneDigit && n < 10 ? " " : "") + std::to_string(n));
    return items;
}

platform::WindowSpec BuildForm1()
{
    using platform::ControlKind;
    using platform::ControlSpec;

    platform::WindowSpec form;
    form.name = "Form1";
    form.className = "TForm1";
    form.caption = "tarvel";
    form.left = 239;
    form.top = 127;
    form.clientWidth = 751;
    form.clientHeight = 392;
    form.fontName = "MS Sans Serif";
    form.fontHeight = -11;

    auto add = [&form](std::string name, ControlKind kind, int left, int top, int width, int height,
                       int tabOrder) -> ControlSpec& {
        ControlSpec c;
        c.name = std::move(name);
        c.kind = kind;
        c.left = left;
        c.top = top;
        c.width = width;
        c.height = height;
        c.tabOrder = tabOrder;
        form.controls.push_back(std::move(c));
        return form.controls.back();
    };

    // In the tab order: Memo1, ComboBox1, ComboBox2, Edit1, ComboBox3, BitBtn1.
    add("Memo1", ControlKind::Memo, 8, 16, 737, 297, 0).lines = HelpLines();

    add("Label1", ControlKind::Label, 16, 362, 60, 13, -1).text = "COM PORT:";
    ControlSpec& comboBox1 = add("ComboBox1", ControlKind::DropDownList, 80, 360, 57, 21, 1);
    comboBox1.items = Numbered("COM", 1, 16, false);
    comboBox1.itemIndex = 0;
    // On Linux the window offers the serial devices present instead.
    comboBox1.offersSerialPorts = true;

    add("Label2", ControlKind::Label, 152, 362, 76, 13, -1).text = "Fill Zero Length:";
    ControlSpec& edit1 = add("Edit1", ControlKind::Edit, 232, 360, 25, 21, 3);
    edit1.text = "10";
    edit1.maxLength = 2;

    add("Label3", ControlKind::Label, 272, 362, 53, 13, -1).text = "Auto Enter:";
    ControlSpec& comboBox2 = add("ComboBox2", ControlKind::DropDownList, 328, 360, 89, 21, 2);
    comboBox2.items = {"0 - disable", "1 - enable"};
    comboBox2.itemIndex = 1;

    add("Label4", ControlKind::Label, 424, 362, 60, 13, -1).text = "Card Format:";
    ControlSpec& comboBox3 = add("ComboBox3", ControlKind::DropDownList, 488, 360, 41, 21, 4);
    comboBox3.items = Numbered("", 1, 14, true);
    comboBox3.itemIndex = -1;
    comboBox3.sorted = true;
    comboBox3.dropDownCount = 9;

    ControlSpec& bitBtn1 = add("BitBtn1", ControlKind::Button, 664, 360, 75, 25, 5);
    bitBtn1.text = "RUN";
    bitBtn1.isDefault = true;
    bitBtn1.okGlyph = true;
    return form;
}

}  // namespace

const std::vector<std::string>& HelpLines()
{
    static const std::vector<std::string> lines = BuildHelpLines();
    return lines;
}

const platform::WindowSpec& Form1Description()
{
    static const platform::WindowSpec form = BuildForm1();
    return form;
}

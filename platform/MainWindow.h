#pragma once
// The program's window, its error box and the window toolkit's start.
//
// The application describes its window as data (WindowSpec: caption,
// position, font and a table of controls) and the toolkit back end builds it:
// Win32 controls on Windows (platform/win32), Qt Widgets on Linux
// (platform/qt). The application then only shows and hides the window, reads
// what the user chose in the controls and gets called back for a click and
// for closing. The same description also makes a window that exists only in
// memory (platform/MemoryWindow.h): for a program that runs without a window
// and for tests.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind {
    Memo,          // multi-line text box: read-only, no border, no scroll bars, lines wrapped
    Label,         // static text
    DropDownList,  // drop-down list without free text
    Edit,          // one-line edit box
    Button,        // push button
};

struct ControlSpec {
    std::string name;  // "ComboBox1"; the toolkit's object name too
    ControlKind kind = ControlKind::Label;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string text;                // Label and Button caption, Edit text
    std::vector<std::string> lines;  // Memo
    std::vector<std::string> items;  // DropDownList, in the order given
    int itemIndex = -1;              // DropDownList: the selected item, -1 for none
    bool sorted = false;             // DropDownList: items kept in sorted order
    int dropDownCount = 8;           // DropDownList: rows shown when dropped down
    // DropDownList: the serial port list. Where serial devices have free
    // names (the Qt window on Linux) it offers the devices present when the
    // window is built instead of items, and reads back the chosen device's
    // path (platform/SerialPortList.h). The Win32 window and a window in
    // memory keep items.
    bool offersSerialPorts = false;
    int maxLength = 0;       // Edit: most characters, 0 for no limit
    int tabOrder = -1;       // position in the tab order; -1: no tab stop
    bool isDefault = false;  // Button: the window's default button (Enter)
    bool okGlyph = false;    // Button: shows the standard OK glyph
};

struct WindowSpec {
    std::string name;       // "Form1"; the toolkit's object name
    std::string className;  // "TForm1"; the Win32 window class, by which other programs find the window
    std::string caption;    // title bar
    int left = 0;           // the window's designed position on the screen
    int top = 0;
    int clientWidth = 0;  // the client area, without the frame
    int clientHeight = 0;
    std::string fontName;  // Windows face name; the Qt back end uses its default sans font
    int fontHeight = -11;  // pixels at 96 dpi; negative: character height (-11 is 8 point)
    std::vector<ControlSpec> controls;
};

// The window as the application sees it. Main thread only.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;

    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;

    // The control's text: an Edit's contents, a DropDownList's selected item
    // (empty when none is selected; in a list of serial devices the device's
    // path), a caption, or a Memo's lines joined by "\n". Throws
    // std::out_of_range for an unknown name.
    virtual std::string Text(const std::string& control) const = 0;
    // A DropDownList's selected item, -1 for none (and for other kinds).
    virtual int ItemIndex(const std::string& control) const = 0;

    // Called when the Button is clicked (with the mouse, the keyboard, or
    // Enter as the default button). The handler should not throw: what
    // escapes is reported on the diagnostic stream.
    virtual void SetOnClick(const std::string& control, std::function<void()> handler) = 0;
    // Called when the user closes the window (its close button or system
    // menu). The window is hidden; it is destroyed with this object.
    virtual void SetOnClose(std::function<void()> handler) = 0;
};

// The window toolkit, started once before the first window (Linux: the
// QApplication; Windows: the common controls). Destroy it after every window.
class IWindowToolkit {
public:
    virtual ~IWindowToolkit() = default;
};

// Starts the toolkit. Throws std::runtime_error when no window can be shown
// (Linux: no display to connect to).
std::unique_ptr<IWindowToolkit> StartWindowToolkit();

// Builds the window with the toolkit, hidden. Needs StartWindowToolkit.
std::unique_ptr<IMainWindow> CreateToolkitWindow(const WindowSpec& layout);

// The modal error box: error icon, OK button, the caption in the title bar.
// Returns when the user has dismissed it. Needs StartWindowToolkit.
void ShowErrorBox(const std::string& caption, const std::string& text);

// True where the program can work without any window (Linux: a command-line
// run needs no display, and help goes to standard output); false where its
// window always exists (Windows).
bool CommandLineRunsWithoutWindow();

// The file name of the running executable, without its folder ("tarvel",
// "tarvel.exe").
std::string ExecutableFileName();

}  // namespace platform

// The program's window with real Win32 controls: a fixed single-border
// window with only the system menu, the described font, the controls created
// in tab order (so Tab follows it through IsDialogMessage in the event
// loop), the default button answering Enter; MessageBoxA as the error box;
// the common controls (version 6, chosen by the executable's manifest) as
// the toolkit.

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ClickHandlers.h"
#include "platform/Diagnostics.h"
#include "platform/HandOver.h"
#include "platform/MainWindow.h"
#include "platform/win32/Win32Loop.h"

namespace platform {
namespace {

constexpr int FirstControlId = 100;

std::string LastErrorText(const char* what)
{
    return std::string(what) + " failed (error " + std::to_string(::GetLastError()) + ")";
}

// --- The toolkit ---------------------------------------------------------------

class Win32Toolkit final : public IWindowToolkit {
public:
    Win32Toolkit()
    {
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof icc;
        icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
        ::InitCommonControlsEx(&icc);
    }
};

// --- The OK glyph: a green check mark, 16 x 16, drawn with smooth edges --------

double DistanceToSegment(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax;
    const double dy = by - ay;
    double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    const double cx = ax + t * dx - px;
    const double cy = ay + t * dy - py;
    return std::sqrt(cx * cx + cy * cy);
}

HIMAGELIST CreateOkGlyph()
{
    constexpr int Size = 16;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Size;
    info.bmiHeader.biHeight = -Size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr)
        return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    constexpr double Half = 1.6;  // half the stroke width
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            const double d = std::min(DistanceToSegment(px, py, 2.5, 8.5, 6.0, 12.0),
                                      DistanceToSegment(px, py, 6.0, 12.0, 13.5, 3.5));
            const double coverage = std::clamp(Half + 0.5 - d, 0.0, 1.0);
            const auto alpha = static_cast<std::uint32_t>(std::lround(coverage * 255.0));
            // Premultiplied BGRA: green 0x00A000.
            const auto green = static_cast<std::uint32_t>(std::lround(coverage * 0xA0));
            pixels[y * Size + x] = (alpha << 24) | (green << 8);
        }
    }
    HIMAGELIST list = ImageList_Create(Size, Size, ILC_COLOR32, 1, 0);
    if (list != nullptr)
        ImageList_Add(list, bitmap, nullptr);
    ::DeleteObject(bitmap);
    return list;
}

// --- The window --------------------------------------------------------------------

class Win32MainWindow final : public IMainWindow {
public:
    explicit Win32MainWindow(const WindowSpec& layout)
    {
        RegisterFormClass(layout.className);
        font_ = ::CreateFontA(layout.fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              layout.fontName.c_str());

        // Single fixed border, caption, system menu only (no minimise or
        // maximise box); the client area has the described size.
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
        RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        window_ = ::CreateWindowExA(exStyle, layout.className.c_str(), layout.caption.c_str(), style, layout.left,
                                    layout.top, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), this);
        if (window_ == nullptr)
            throw std::runtime_error(LastErrorText("Creating the window"));
        // Without minimise and maximise boxes the system menu offers only
        // Move and Close.
        HMENU menu = ::GetSystemMenu(window_, FALSE);
        if (menu != nullptr) {
            ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
            ::DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
            ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
            ::DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
        }

        // Created in tab order: z-order is the order Tab follows. Controls
        // without a tab stop come after.
        std::vector<const ControlSpec*> order;
        for (const ControlSpec& c : layout.controls)
            order.push_back(&c);
        std::stable_sort(order.begin(), order.end(), [](const ControlSpec* a, const ControlSpec* b) {
            const int ka = a->tabOrder < 0 ? INT32_MAX : a->tabOrder;
            const int kb = b->tabOrder < 0 ? INT32_MAX : b->tabOrder;
            return ka < kb;
        });
        int id = FirstControlId;
        for (const ControlSpec* c : order)
            Build(*c, id++);
        SetLoopDialogWindow(window_);
    }

    ~Win32MainWindow() override
    {
        SetLoopDialogWindow(nullptr);
        if (window_ != nullptr) {
            ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
            ::DestroyWindow(window_);
        }
        if (glyph_ != nullptr)
            ImageList_Destroy(glyph_);
        if (font_ != nullptr)
            ::DeleteObject(font_);
    }

    void Show() override
    {
        ::ShowWindow(window_, SW_SHOW);
        ::SetForegroundWindow(window_);
        if (!shownOnce_ && firstTabStop_ != nullptr)
            ::SetFocus(firstTabStop_);
        shownOnce_ = true;
    }

    void Hide() override { ::ShowWindow(window_, SW_HIDE); }
    bool Visible() const override { return ::IsWindowVisible(window_) != FALSE; }

    std::string Text(const std::string& control) const override
    {
        const Control& c = Find(control);
        if (c.kind == ControlKind::DropDownList) {
            const LRESULT index = ::SendMessageA(c.hwnd, CB_GETCURSEL, 0, 0);
            if (index == CB_ERR)
                return {};
            const LRESULT length = ::SendMessageA(c.hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
            if (length == CB_ERR)
                return {};
            std::string text(static_cast<std::size_t>(length) + 1, '\0');
            const LRESULT got = ::SendMessageA(c.hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(text.data()));
            text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
            return text;
        }
        const int length = ::GetWindowTextLengthA(c.hwnd);
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        const int got = ::GetWindowTextA(c.hwnd, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(std::max(got, 0)));
        if (c.kind == ControlKind::Memo) {
            // The lines are stored with CR LF.
            std::string lines;
            for (char ch : text)
                if (ch != '\r')
                    lines += ch;
            return lines;
        }
        return text;
    }

    int ItemIndex(const std::string& control) const override
    {
        const Control& c = Find(control);
        if (c.kind != ControlKind::DropDownList)
            return -1;
        const LRESULT index = ::SendMessageA(c.hwnd, CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? -1 : static_cast<int>(index);
    }

    void SetOnClick(const std::string& control, std::function<void()> handler) override
    {
        Find(control);
        clickHandlers_.Set(control, std::move(handler));
    }

    void SetOnClose(std::function<void()> handler) override { onClose_ = std::move(handler); }

private:
    struct Control {
        std::string name;
        ControlKind kind;
        HWND hwnd;
        int id;
    };

    // Registers the window class the description names, once per name.
    static void RegisterFormClass(const std::string& className)
    {
        if (className.empty())
            throw std::invalid_argument("the window description names no window class");
        static std::mutex mutex;
        static std::set<std::string> registered;
        const std::lock_guard<std::mutex> lock(mutex);
        if (registered.count(className) != 0)
            return;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Win32MainWindow::WindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = className.c_str();
        ::RegisterClassExA(&wc);
        registered.insert(className);
    }

    void Build(const ControlSpec& c, int id)
    {
        const DWORD tab = c.tabOrder >= 0 ? WS_TABSTOP : 0;
        const char* className = "STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE | tab;
        DWORD exStyle = 0;
        int height = c.height;
        std::string text = c.text;
        switch (c.kind) {
        case ControlKind::Memo:
            className = "EDIT";
            // Read-only, no border and no scroll bars; without
            // ES_AUTOHSCROLL long lines wrap at the box's width.
            style |= ES_MULTILINE | ES_READONLY | ES_LEFT;
            text.clear();
            for (std::size_t i = 0; i < c.lines.size(); ++i)
                text += (i == 0 ? "" : "\r\n") + c.lines[i];
            break;
        case ControlKind::Label:
            className = "STATIC";
            // One line, as a caption: a wider font than designed clips the
            // end rather than wrapping into a second line nobody sees.
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            break;
        case ControlKind::DropDownList:
            className = "COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | (c.sorted ? CBS_SORT : 0);
            height = c.height + std::max(c.dropDownCount, 1) * 16;  // refined below, once the font is set
            text.clear();
            break;
        case ControlKind::Edit:
            className = "EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            className = "BUTTON";
            style |= c.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        }
        HWND hwnd = ::CreateWindowExA(exStyle, className, text.c_str(), style, c.left, c.top, c.width, height, window_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr),
                                      nullptr);
        if (hwnd == nullptr)
            throw std::runtime_error(LastErrorText(("Creating " + c.name).c_str()));
        ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

        if (c.kind == ControlKind::DropDownList) {
            for (const std::string& item : c.items)
                ::SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            ::SendMessageA(hwnd, CB_SETCURSEL, static_cast<WPARAM>(c.itemIndex), 0);
            ::SendMessageA(hwnd, CB_SETMINVISIBLE, static_cast<WPARAM>(c.dropDownCount), 0);
            // The list drops down with dropDownCount rows.
            const LRESULT itemHeight = ::SendMessageA(hwnd, CB_GETITEMHEIGHT, 0, 0);
            if (itemHeight > 0) {
                RECT shown{};
                ::GetWindowRect(hwnd, &shown);
                ::SetWindowPos(hwnd, nullptr, 0, 0, c.width,
                               c.height + static_cast<int>(itemHeight) * c.dropDownCount + 2,
                               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        if (c.kind == ControlKind::Edit && c.maxLength > 0)
            ::SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(c.maxLength), 0);
        if (c.kind == ControlKind::Button) {
            if (c.okGlyph) {
                glyph_ = CreateOkGlyph();
                if (glyph_ != nullptr) {
                    BUTTON_IMAGELIST images{};
                    images.himl = glyph_;
                    images.margin = RECT{6, 0, 0, 0};
                    images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
                    ::SendMessageA(hwnd, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
                }
            }
            if (c.isDefault)
                defaultId_ = id;
        }
        if (c.kind == ControlKind::Memo) {
            memo_ = hwnd;
            // Tabbing into the help text must not select all of it, as the
            // dialog manager does for edit boxes.
            ::SetWindowSubclass(hwnd, &Win32MainWindow::MemoProc, 1, 0);
        }
        if (c.tabOrder >= 0 && firstTabStop_ == nullptr)
            firstTabStop_ = hwnd;
        controls_.push_back(Control{c.name, c.kind, hwnd, id});
    }

    const Control& Find(const std::string& name) const
    {
        for (const Control& c : controls_)
            if (c.name == name)
                return c;
        throw std::out_of_range("the window has no control " + name);
    }

    void Clicked(int id)
    {
        for (const Control& c : controls_) {
            if (c.id != id)
                continue;
            clickHandlers_.Run(c.name);
            return;
        }
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                Clicked(LOWORD(wParam));
                return 0;
            }
            break;
        case DM_GETDEFID:
            if (defaultId_ != 0)
                return MAKELRESULT(defaultId_, DC_HASDEFID);
            break;
        case WM_CTLCOLORSTATIC:
            // The read-only help text keeps the window colour of a text box.
            if (reinterpret_cast<HWND>(lParam) == memo_) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_ACTIVATE:
            // Keep the focused control across deactivation, as a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(window_, focus))
                    lastFocus_ = focus;
            } else if (lastFocus_ != nullptr && ::IsWindow(lastFocus_)) {
                ::SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            ::ShowWindow(window_, SW_HIDE);
            if (onClose_) {
                try {
                    onClose_();
                } catch (...) {
                    Diagnostic("Unhandled exception in the close handler: " + detail::DescribeCurrentException());
                }
            }
            return 0;
        default:
            break;
        }
        return ::DefWindowProcA(window_, message, wParam, lParam);
    }

    static LRESULT CALLBACK MemoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
    {
        if (message == WM_NCDESTROY)
            ::RemoveWindowSubclass(hwnd, &Win32MainWindow::MemoProc, 1);
        const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
        return message == WM_GETDLGCODE ? (result & ~static_cast<LRESULT>(DLGC_HASSETSEL)) : result;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            auto* self = static_cast<Win32MainWindow*>(create->lpCreateParams);
            self->window_ = hwnd;
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self == nullptr)
            return ::DefWindowProcA(hwnd, message, wParam, lParam);
        return self->Handle(message, wParam, lParam);
    }

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HIMAGELIST glyph_ = nullptr;
    HWND memo_ = nullptr;
    HWND firstTabStop_ = nullptr;
    HWND lastFocus_ = nullptr;
    int defaultId_ = 0;
    bool shownOnce_ = false;
    std::vector<Control> controls_;
    ClickHandlers clickHandlers_;
    std::function<void()> onClose_;
};

}  // namespace

std::unique_ptr<IWindowToolkit> StartWindowToolkit() { return std::make_unique<Win32Toolkit>(); }

std::unique_ptr<IMainWindow> CreateToolkitWindow(const WindowSpec& layout)
{
    return std::make_unique<Win32MainWindow>(layout);
}

void ShowErrorBox(const std::string& caption, const std::string& text)
{
    HWND owner = ::GetActiveWindow();
    if (owner != nullptr && !::IsWindowVisible(owner))
        owner = nullptr;
    ::MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace platform

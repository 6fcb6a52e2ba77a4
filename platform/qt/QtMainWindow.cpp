// The program's window in Qt Widgets: a fixed-size top-level QWidget with the
// described controls at their positions, the toolkit's default sans font at
// the described size, Enter for the default button; QMessageBox as the error
// box; the QApplication as the toolkit.

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QWidget>

#include <X11/Xlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/ClickHandlers.h"
#include "platform/Diagnostics.h"
#include "platform/HandOver.h"
#include "platform/MainWindow.h"
#include "platform/SerialPortList.h"

namespace platform {
namespace {

QString ToQt(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// --- The toolkit -----------------------------------------------------------------

class QtToolkit final : public IWindowToolkit {
public:
    QtToolkit()
    {
        // Only the program's name: Qt's own options (-style, -platform, ...)
        // are not taken from the program's command line.
        app_ = std::make_unique<QApplication>(argc_, argv_);
        // The window's close button ends the program, through the close
        // handler; hiding the window or closing an error box never does.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    ~QtToolkit() override { app_.reset(); }

private:
    static inline int argc_ = 1;
    static inline char name_[] = "tarvel";
    static inline char* argv_[] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// A Wayland compositor listens where WAYLAND_DISPLAY names: a socket path, or
// a name in XDG_RUNTIME_DIR. A name that nothing serves is no display.
bool WaylandReachable()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0')
        return false;
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0')
            return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool reached = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return reached;
}

// QApplication ends the process when it cannot reach a display; say so
// before, as an error the program can report.
void CheckDisplay()
{
    if (IsSet("QT_QPA_PLATFORM"))
        return;  // the caller chose a platform plugin (offscreen, wayland, xcb)
    if (WaylandReachable())
        return;
    if (!IsSet("DISPLAY"))
        throw std::runtime_error("Cannot show the window: no display (DISPLAY is not set)");
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw std::runtime_error(std::string("Cannot show the window: cannot open the display ") +
                                 std::getenv("DISPLAY"));
    XCloseDisplay(display);
}

// --- The window --------------------------------------------------------------------

class FormWidget final : public QWidget {
public:
    FormWidget()
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint)
    {}

    std::function<void()> onClose;
    QPushButton* defaultButton = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        if (!onClose)
            return;
        try {
            onClose();
        } catch (...) {
            Diagnostic("Unhandled exception in the close handler: " + detail::DescribeCurrentException());
        }
    }

    // Enter that no control took presses the default button, as in a dialog.
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && event->modifiers() == Qt::NoModifier && defaultButton != nullptr && defaultButton->isEnabled()) {
            defaultButton->click();
            return;
        }
        QWidget::keyPressEvent(event);
    }
};

class QtMainWindow final : public IMainWindow {
public:
    QtMainWindow(const WindowSpec& layout, SerialPortSearch search) : search_(std::move(search))
    {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
            throw std::logic_error("the window toolkit is not started");
        widget_ = std::make_unique<FormWidget>();
        widget_->setObjectName(ToQt(layout.name));
        widget_->setWindowTitle(ToQt(layout.caption));

        // The default sans font of the toolkit at the described size (the
        // size is given in pixels at 96 dpi).
        QFont font = QApplication::font();
        font.setStyleHint(QFont::SansSerif);
        font.setPointSize(std::max(1, static_cast<int>(std::lround(std::abs(layout.fontHeight) * 72.0 / 96.0))));
        // The layout was made for a narrow face; common sans faces run
        // wider, so the semi-condensed width of the same family keeps every
        // caption inside its control.
        font.setStretch(QFont::SemiCondensed);
        widget_->setFont(font);

        widget_->setFixedSize(layout.clientWidth, layout.clientHeight);
        widget_->move(layout.left, layout.top);

        std::vector<std::pair<int, QWidget*>> tabStops;
        for (const ControlSpec& c : layout.controls) {
            QWidget* control = Build(c);
            control->setObjectName(ToQt(c.name));
            control->setGeometry(c.left, c.top, c.width, c.height);
            if (c.tabOrder >= 0) {
                control->setFocusPolicy(Qt::StrongFocus);
                tabStops.emplace_back(c.tabOrder, control);
            } else {
                control->setFocusPolicy(Qt::NoFocus);
            }
            controls_[c.name] = control;
        }
        std::sort(tabStops.begin(), tabStops.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < tabStops.size(); ++i)
            QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);
        if (!tabStops.empty())
            firstTabStop_ = tabStops.front().second;
    }

    ~QtMainWindow() override
    {
        widget_->onClose = nullptr;
        widget_.reset();
    }

    void Show() override
    {
        widget_->show();
        widget_->raise();
        widget_->activateWindow();
        if (!shownOnce_ && firstTabStop_ != nullptr)
            firstTabStop_->setFocus(Qt::OtherFocusReason);
        shownOnce_ = true;
    }

    void Hide() override { widget_->hide(); }
    bool Visible() const override { return widget_->isVisible(); }

    std::string Text(const std::string& control) const override
    {
        QWidget* w = Find(control);
        if (auto* memo = qobject_cast<QTextEdit*>(w))
            return FromQt(memo->toPlainText());
        if (auto* label = qobject_cast<QLabel*>(w))
            return FromQt(label->text());
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (combo->currentIndex() < 0)
                return {};
            // A serial device's path, where the list shows the device by name.
            const QVariant port = combo->currentData(PortRole);
            return FromQt(port.isValid() ? port.toString() : combo->currentText());
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            return FromQt(edit->text());
        if (auto* button = qobject_cast<QPushButton*>(w))
            return FromQt(button->text());
        return {};
    }

    int ItemIndex(const std::string& control) const override
    {
        auto* combo = qobject_cast<QComboBox*>(Find(control));
        return combo != nullptr ? combo->currentIndex() : -1;
    }

    void SetOnClick(const std::string& control, std::function<void()> handler) override
    {
        Find(control);  // the name must exist
        clickHandlers_.Set(control, std::move(handler));
    }

    void SetOnClose(std::function<void()> handler) override { widget_->onClose = std::move(handler); }

private:
    QWidget* Build(const ControlSpec& c)
    {
        QWidget* parent = widget_.get();
        switch (c.kind) {
        case ControlKind::Memo: {
            auto* memo = new QTextEdit(parent);
            memo->setReadOnly(true);
            memo->setAcceptRichText(false);
            memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            memo->setFrameShape(QFrame::NoFrame);
            memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            memo->setLineWrapMode(QTextEdit::WidgetWidth);
            memo->setTabChangesFocus(true);
            QStringList lines;
            for (const std::string& line : c.lines)
                lines << ToQt(line);
            memo->setPlainText(lines.join(QChar('\n')));
            // Lines at the designed pitch (13 pixels for an 11-pixel font,
            // less a pixel for the wider face's wrapped lines), so that the
            // whole text shows in the box as designed, without scroll bars.
            memo->document()->setDocumentMargin(2);
            QTextCursor all(memo->document());
            all.select(QTextCursor::Document);
            QTextBlockFormat pitch;
            pitch.setLineHeight(12, QTextBlockFormat::FixedHeight);
            all.mergeBlockFormat(pitch);
            return memo;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setText(ToQt(c.text));
            // A caption wider than its designed box would be cut off at the
            // right (the colons went first): the face is narrowed a little
            // for that one label until the caption fits.
            QFont font = label->font();
            while (QFontMetrics(font).horizontalAdvance(label->text()) > c.width && font.pointSizeF() > 6.0)
                font.setPointSizeF(font.pointSizeF() - 0.25);
            label->setFont(font);
            return label;
        }
        case ControlKind::DropDownList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            if (c.offersSerialPorts) {
                FillWithSerialPorts(combo, c);
                return combo;
            }
            QStringList items;
            for (const std::string& item : c.items)
                items << ToQt(item);
            if (c.sorted)
                items.sort(Qt::CaseInsensitive);
            combo->addItems(items);
            combo->setMaxVisibleItems(c.dropDownCount);
            combo->setCurrentIndex(c.itemIndex < static_cast<int>(c.items.size()) ? c.itemIndex : -1);
            return combo;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(parent);
            if (c.maxLength > 0)
                edit->setMaxLength(c.maxLength);
            edit->setText(ToQt(c.text));
            return edit;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(ToQt(c.text), parent);
            if (c.okGlyph)
                button->setIcon(button->style()->standardIcon(QStyle::SP_DialogOkButton));
            if (c.isDefault) {
                button->setDefault(true);
                widget_->defaultButton = button;
            }
            const std::string name = c.name;
            QObject::connect(button, &QPushButton::clicked, button, [this, name] { Clicked(name); });
            return button;
        }
        }
        throw std::logic_error("unknown control kind");
    }

    // The devices present now, the first one chosen. A device's name is
    // longer than the designed box: the list, when dropped down, is as wide
    // as its longest name, and the chosen name shows in full as the box's
    // tool tip.
    void FillWithSerialPorts(QComboBox* combo, const ControlSpec& c)
    {
        int widest = 0;
        const QFontMetrics metrics(combo->font());
        for (const SerialPortChoice& choice : SerialPortsPresent(search_)) {
            combo->addItem(ToQt(choice.shown));
            combo->setItemData(combo->count() - 1, ToQt(choice.port), PortRole);
            widest = std::max(widest, metrics.horizontalAdvance(ToQt(choice.shown)));
        }
        combo->setMaxVisibleItems(c.dropDownCount);
        combo->view()->setMinimumWidth(widest + 2 * combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo](int index) { combo->setToolTip(combo->itemText(index)); });
        combo->setCurrentIndex(0);
        combo->setToolTip(combo->currentText());
    }

    void Clicked(const std::string& name) { clickHandlers_.Run(name); }

    QWidget* Find(const std::string& control) const
    {
        auto it = controls_.find(control);
        if (it == controls_.end())
            throw std::out_of_range("the window has no control " + control);
        return it->second;
    }

    // Where a list's item keeps the serial device's path.
    static constexpr int PortRole = Qt::UserRole + 1;

    SerialPortSearch search_;
    std::unique_ptr<FormWidget> widget_;
    std::map<std::string, QWidget*> controls_;  // owned by widget_
    ClickHandlers clickHandlers_;
    QWidget* firstTabStop_ = nullptr;
    bool shownOnce_ = false;
};

}  // namespace

std::unique_ptr<IWindowToolkit> StartWindowToolkit()
{
    if (QCoreApplication::instance() != nullptr)
        throw std::logic_error("the window toolkit is started after another Qt application object");
    CheckDisplay();
    return std::make_unique<QtToolkit>();
}

std::unique_ptr<IMainWindow> CreateToolkitWindow(const WindowSpec& layout)
{
    return std::make_unique<QtMainWindow>(layout, SerialPortSearch{});
}

std::unique_ptr<IMainWindow> CreateToolkitWindowWithPorts(const WindowSpec& layout, const SerialPortSearch& search)
{
    return std::make_unique<QtMainWindow>(layout, search);
}

void ShowErrorBox(const std::string& caption, const std::string& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No toolkit to show a box with: the same words on standard error.
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return;
    }
    QMessageBox box(QMessageBox::Critical, ToQt(caption), ToQt(text), QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);  // a message is never markup
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

}  // namespace platform

// Form1 as Qt Widgets on Qt's offscreen platform, driven as a user would:
// the controls, their texts, items, tab order and initial state; RUN on a
// pseudo-terminal; RUN with an empty card format or fill length, answered by
// the real error box; the port list with the virtual reader linked under a
// by-id name, and a card it sends typed after RUN. Screenshots of the window,
// its port list and the error box are saved as PNG files in the build tree.
//
// The port list is given the devices to offer: a pseudo-terminal has no
// hardware behind it, and the system's enumeration of serial devices never
// reports one.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ErrorBox.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/Unit1Controls.h"
#include "framework/EventLoop.h"
#include "framework/ExceptionHandler.h"
#include "framework/MainThread.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "platform/MainWindow.h"
#include "platform/SerialPortList.h"
#include "platform/fake/FakeKeyboard.h"
#include "serial/ComPortErrors.h"
#include "tests/support/PtyPair.h"
#include "tests/tools/reader/ReaderProcess.h"

namespace {

const std::string ScreenshotDir = TARVEL_SCREENSHOT_DIR;

// The toolkit for the whole run, always offscreen: a test never opens a
// window on somebody's desktop.
class ToolkitEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        SetMainThread();
        toolkit_ = platform::StartWindowToolkit();
        loop_ = platform::CreateSystemEventLoop();
        SetApplicationEventLoop(loop_.get());
        InitSerialErrorTexts();
    }
    void TearDown() override
    {
        SetApplicationEventLoop(nullptr);
        loop_.reset();
        toolkit_.reset();
    }

private:
    std::unique_ptr<platform::IWindowToolkit> toolkit_;
    std::unique_ptr<platform::IEventLoop> loop_;
};
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

// What the error box showed when the test dismissed it.
struct BoxSeen {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

class FormWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppSettings();
        previousHandler_ = SetExceptionHandler({});
        InstallErrorBoxHandler(true);  // the program's own: the error box
        const platform::SerialPortSearch search = PortSearch();
        form = std::make_unique<TForm1>(nullptr, [&search](const platform::WindowSpec& layout) {
            return platform::CreateToolkitWindowWithPorts(layout, search);
        });
        form->SetCommandLine({});
        // As the program starts: shown when the loop runs; the timer reads
        // the (empty) command line about 100 ms later and shows it again.
        form->Show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !form->Timer1->Enabled(); }, 5000));
        widget = Find<QWidget>("Form1");
        ASSERT_NE(widget, nullptr);
        ASSERT_TRUE(widget->isVisible());
    }

    void TearDown() override
    {
        form.reset();
        SetExceptionHandler(previousHandler_);
        ResetAppSettings();
    }

    template <typename W>
    W* Find(const char* name) const
    {
        if (std::string(name) == "Form1") {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "Form1")
                    return qobject_cast<W*>(top);
            return nullptr;
        }
        return widget->findChild<W*>(QString::fromLatin1(name));
    }

    // Where the port list looks for devices: here the pseudo-terminal is the
    // one device found, and there are no by-id links.
    virtual platform::SerialPortSearch PortSearch()
    {
        return {"", [this] { return std::vector<std::string>{pty.SlavePath()}; }};
    }

    // Picks the pseudo-terminal in the port list, by the name it shows.
    void ChoosePort()
    {
        auto* ports = Find<QComboBox>("ComboBox1");
        const int index = ports->findText(QString::fromStdString(pty.SlavePath().substr(5)));  // "pts/N"
        ASSERT_GE(index, 0);
        ports->setCurrentIndex(index);
    }

    // Clicks RUN; an error box that comes up is read, saved as a picture and
    // dismissed with its OK button.
    BoxSeen ClickRun(const char* boxPicture = nullptr)
    {
        BoxSeen box;
        QTimer watcher;
        watcher.setInterval(10);
        QObject::connect(&watcher, &QTimer::timeout, [&box, &watcher, boxPicture] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (shown == nullptr)
                return;
            watcher.stop();
            box.seen = true;
            box.title = shown->windowTitle();
            box.text = shown->text();
            box.icon = shown->icon();
            box.buttons = shown->standardButtons();
            if (boxPicture != nullptr)
                shown->grab().save(QString::fromStdString(ScreenshotDir + "/" + boxPicture));
            shown->button(QMessageBox::Ok)->click();
        });
        watcher.start();
        QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
        watcher.stop();
        return box;
    }

    tarvel_test::PtyPair pty;  // outlives the form: the reader is not unplugged under an open port
    std::unique_ptr<TForm1> form;
    QWidget* widget = nullptr;

private:
    TExceptionHandler previousHandler_;
};

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

TEST_F(FormWindowTest, TheWindowHasItsControlsTextsAndInitialState)
{
    EXPECT_EQ(widget->windowTitle(), "tarvel");
    EXPECT_EQ(widget->size(), QSize(751, 392));
    EXPECT_EQ(widget->minimumSize(), widget->maximumSize()) << "not resizable";
    EXPECT_EQ(widget->pos(), QPoint(239, 127));
    const Qt::WindowFlags flags = widget->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(widget->font().pointSize(), 8);
    EXPECT_EQ(widget->font().family(), QApplication::font().family());

    struct Expected {
        const char* name;
        const char* className;
        QRect geometry;
    };
    const Expected controls[] = {
        {"Memo1", "QTextEdit", QRect(8, 16, 737, 297)},      {"Label1", "QLabel", QRect(16, 362, 60, 13)},
        {"ComboBox1", "QComboBox", QRect(80, 360, 57, 21)},  {"Label2", "QLabel", QRect(152, 362, 76, 13)},
        {"Edit1", "QLineEdit", QRect(232, 360, 25, 21)},     {"Label3", "QLabel", QRect(272, 362, 53, 13)},
        {"ComboBox2", "QComboBox", QRect(328, 360, 89, 21)}, {"Label4", "QLabel", QRect(424, 362, 60, 13)},
        {"ComboBox3", "QComboBox", QRect(488, 360, 41, 21)}, {"BitBtn1", "QPushButton", QRect(664, 360, 75, 25)},
    };
    for (const Expected& c : controls) {
        QWidget* control = Find<QWidget>(c.name);
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_STREQ(control->metaObject()->className(), c.className) << c.name;
        EXPECT_EQ(control->geometry(), c.geometry) << c.name;
        EXPECT_TRUE(control->isVisible()) << c.name;
    }

    auto* memo = Find<QTextEdit>("Memo1");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->lineWrapMode(), QTextEdit::WidgetWidth);
    QStringList help;
    for (const std::string& line : HelpLines())
        help << QString::fromStdString(line);
    EXPECT_EQ(memo->toPlainText(), help.join('\n'));
    EXPECT_EQ(memo->document()->blockCount(), 23);

    EXPECT_EQ(Find<QLabel>("Label1")->text(), "COM PORT:");
    EXPECT_EQ(Find<QLabel>("Label2")->text(), "Fill Zero Length:");
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Auto Enter:");
    EXPECT_EQ(Find<QLabel>("Label4")->text(), "Card Format:");

    // The devices present: here only the pseudo-terminal, chosen, read back
    // as its path.
    auto* ports = Find<QComboBox>("ComboBox1");
    const QString ptyName = QString::fromStdString(pty.SlavePath().substr(5));
    EXPECT_EQ(Items(ports), QStringList{ptyName});
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(ports->toolTip(), ptyName);
    EXPECT_EQ(form->Window().Text("ComboBox1"), pty.SlavePath());
    EXPECT_FALSE(ports->isEditable());

    auto* edit = Find<QLineEdit>("Edit1");
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(edit->maxLength(), 2);

    auto* autoEnter = Find<QComboBox>("ComboBox2");
    EXPECT_EQ(Items(autoEnter), (QStringList{"0 - disable", "1 - enable"}));
    EXPECT_EQ(autoEnter->currentIndex(), 1);

    auto* formats = Find<QComboBox>("ComboBox3");
    EXPECT_EQ(Items(formats),
              (QStringList{" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", "10", "11", "12", "13", "14"}));
    EXPECT_EQ(formats->currentIndex(), -1);
    EXPECT_EQ(formats->currentText(), "");
    EXPECT_EQ(formats->maxVisibleItems(), 9);
    EXPECT_FALSE(formats->isEditable());

    auto* run = Find<QPushButton>("BitBtn1");
    EXPECT_EQ(run->text(), "RUN");
    EXPECT_TRUE(run->isDefault());
    EXPECT_FALSE(run->icon().isNull()) << "the OK glyph";

    // Nothing is open yet.
    EXPECT_FALSE(form->ComPort1->Connected());

    ASSERT_TRUE(widget->grab().save(QString::fromStdString(ScreenshotDir + "/tarvel-form1-qt.png")));
}

TEST_F(FormWindowTest, TabRunsMemoThenTheListsTheEditTheFormatAndRun)
{
    // The window's focus: the offscreen platform does not always report the
    // window active again after the timer hid and showed it.
    EXPECT_EQ(widget->focusWidget(), Find<QWidget>("Memo1")) << "the first in the tab order has the focus";
    std::vector<std::string> order;
    for (int i = 0; i < 6; ++i) {
        QWidget* focus = widget->focusWidget();
        ASSERT_NE(focus, nullptr);
        order.push_back(focus->objectName().toStdString());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Memo1", "ComboBox1", "ComboBox2", "Edit1", "ComboBox3", "BitBtn1"}));
    EXPECT_EQ(widget->focusWidget(), Find<QWidget>("Memo1")) << "and round again";
    for (const char* label : {"Label1", "Label2", "Label3", "Label4"})
        EXPECT_EQ(Find<QWidget>(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST_F(FormWindowTest, RunOnAPseudoTerminalOpensItAndHidesTheWindow)
{
    ChoosePort();
    Find<QLineEdit>("Edit1")->setText("12");
    Find<QComboBox>("ComboBox2")->setCurrentIndex(0);
    Find<QComboBox>("ComboBox3")->setCurrentIndex(6);

    const BoxSeen box = ClickRun();

    EXPECT_FALSE(box.seen) << box.text.toStdString();
    EXPECT_FALSE(widget->isVisible());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->ComPort1->Port(), pty.SlavePath());
    EXPECT_TRUE(pty.HeldExclusively());
    EXPECT_EQ(FillZeroLength, 12);
    EXPECT_EQ(AutoEnter, 0);
    EXPECT_EQ(CardFormat, 7);

    form.reset();
    EXPECT_FALSE(pty.HeldExclusively()) << "the port closes with the window";
}

TEST_F(FormWindowTest, EnterInTheEditBoxPressesRun)
{
    ChoosePort();
    Find<QComboBox>("ComboBox3")->setCurrentIndex(0);
    QTest::keyClick(Find<QLineEdit>("Edit1"), Qt::Key_Return);
    EXPECT_FALSE(widget->isVisible());
    EXPECT_TRUE(form->ComPort1->Connected());
}

TEST_F(FormWindowTest, RunWithoutACardFormatShowsTheErrorWithThePortOpen)
{
    ChoosePort();
    Find<QLineEdit>("Edit1")->setText("8");

    const BoxSeen box = ClickRun("tarvel-errorbox-qt.png");

    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text, "'' is not a valid integer value.");
    EXPECT_EQ(box.title.toStdString(), ApplicationTitle());
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(widget->isVisible()) << "the window stays";
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_TRUE(pty.HeldExclusively());
    EXPECT_EQ(FillZeroLength, 8);
    EXPECT_EQ(AutoEnter, 1);
    EXPECT_EQ(CardFormat, 1);
}

TEST_F(FormWindowTest, RunWithAnEmptyFillLengthShowsTheErrorWithThePortOpen)
{
    ChoosePort();
    Find<QLineEdit>("Edit1")->clear();
    Find<QComboBox>("ComboBox3")->setCurrentIndex(3);

    const BoxSeen box = ClickRun();

    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text, "'' is not a valid integer value.");
    EXPECT_TRUE(widget->isVisible());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(FillZeroLength, 10) << "the previous fill length";
    EXPECT_EQ(CardFormat, 1) << "the steps after the failing one do not run";
}

// Where no serial device exists, the list offers COM1 and RUN would give
// the port that name, as the window did before it listed devices.
class FormWithoutDevicesTest : public FormWindowTest {
protected:
    platform::SerialPortSearch PortSearch() override
    {
        return {"", [] { return std::vector<std::string>{}; }};
    }
};

TEST_F(FormWithoutDevicesTest, ThePortListOffersComOneChosen)
{
    auto* ports = Find<QComboBox>("ComboBox1");
    EXPECT_EQ(Items(ports), QStringList{"COM1"});
    EXPECT_EQ(ports->currentText(), "COM1");
    EXPECT_EQ(form->Window().Text("ComboBox1"), "COM1");
}

// A keyboard the form owns that types into a recording the test keeps.
class KeyboardInto final : public platform::IKeyboard {
public:
    explicit KeyboardInto(platform::RecordingKeyboard& into) : into_(into) {}
    void Type(char c) override { into_.Type(c); }
    std::string Name() const override { return into_.Name(); }

private:
    platform::RecordingKeyboard& into_;
};

// The virtual reader, linked under a by-id style name in a folder of the
// test's own, which the port list is pointed at; the reader's pseudo-terminal
// stands for the device the system found. It sends card AABBCCDD once the
// port is opened.
class FormWithReaderTest : public FormWindowTest {
protected:
    static constexpr const char* LinkName = "usb-tarvel_Virtual_Card_Reader_0001-if00-port0";

    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvel-by-id-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        byId_ = pattern;
        link_ = byId_ + "/" + LinkName;
        reader_ = std::make_unique<tarvel_test::ReaderProcess>(
            std::vector<std::string>{"--link", link_, "--wait-open", "--delay", "100", "AABBCCDD"});
        const std::optional<std::string> device = reader_->ReadLine(std::chrono::seconds(20));
        ASSERT_TRUE(device.has_value()) << reader_->Errors();
        device_ = *device;
        FormWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        form->ChooseKeyboard([this] { return std::make_unique<KeyboardInto>(keys_); });
        SetPause(&keys_);  // the pauses between keys are recorded, not slept
    }

    void TearDown() override
    {
        FormWindowTest::TearDown();  // closes the port
        SetPause(nullptr);
        if (reader_) {
            reader_->CloseStdin();  // the reader ends and removes its link
            EXPECT_EQ(reader_->WaitExit(std::chrono::seconds(20)), std::optional<int>(0)) << reader_->Errors();
        }
        std::filesystem::remove_all(byId_);
    }

    platform::SerialPortSearch PortSearch() override
    {
        return {byId_, [this] { return std::vector<std::string>{device_}; }};
    }

    std::string byId_;
    std::string link_;
    std::string device_;  // /dev/pts/N
    std::unique_ptr<tarvel_test::ReaderProcess> reader_;
    platform::RecordingKeyboard keys_;
};

// The window with its port list dropped down, as one picture: the list is a
// window of its own, drawn where it shows below the box.
void SaveWindowWithList(QWidget* window, QComboBox* list, const std::string& file)
{
    list->showPopup();
    QWidget* popup = list->view()->window();
    ASSERT_TRUE(QTest::qWaitFor([popup] { return popup->isVisible(); }, 5000));
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0));
    QPixmap picture(std::max(window->width(), at.x() + popup->width()),
                    std::max(window->height(), at.y() + popup->height()));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, window->grab());
    painter.drawPixmap(at, popup->grab());
    painter.end();
    list->hidePopup();
    ASSERT_TRUE(picture.save(QString::fromStdString(file)));
}

TEST_F(FormWithReaderTest, TheReaderShowsByItsByIdNameAndRunTypesItsCard)
{
    auto* ports = Find<QComboBox>("ComboBox1");
    const QString device = QString::fromStdString(device_.substr(5));  // "pts/N"
    EXPECT_EQ(Items(ports), (QStringList{QString(LinkName) + " -> " + device, device}));
    EXPECT_EQ(ports->currentIndex(), 0) << "the first device found is chosen";
    EXPECT_GE(ports->view()->minimumWidth(), QFontMetrics(ports->font()).horizontalAdvance(ports->itemText(0)))
        << "the dropped-down list shows whole names";
    ASSERT_TRUE(widget->grab().save(QString::fromStdString(ScreenshotDir + "/tarvel-form1-ports-qt.png")));
    SaveWindowWithList(widget, ports, ScreenshotDir + "/tarvel-form1-port-list-qt.png");

    ports->setCurrentIndex(0);
    Find<QComboBox>("ComboBox3")->setCurrentIndex(0);  // " 1": the card number in decimal
    const BoxSeen box = ClickRun();

    EXPECT_FALSE(box.seen) << box.text.toStdString();
    EXPECT_FALSE(widget->isVisible());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->ComPort1->Port(), link_) << "the port is opened by its by-id name";
    EXPECT_TRUE(QTest::qWaitFor([this] { return keys_.Keys().find("Enter") != std::string::npos; }, 30000))
        << "typed so far: " << keys_.Keys();
    EXPECT_EQ(keys_.Keys(), "2864434397 Enter");
}

}  // namespace

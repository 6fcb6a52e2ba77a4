#pragma once
// A window that exists only in memory: it keeps the controls' texts and
// selections from its description and whether it is shown, and draws
// nothing. The program uses it where it runs without any window (the Linux
// command-line form); tests use it to drive a form: they set what a user
// would choose and click.

#include <functional>
#include <map>
#include <string>

#include "platform/MainWindow.h"

namespace platform {

class MemoryWindow final : public IMainWindow {
public:
    explicit MemoryWindow(const WindowSpec& layout);

    void Show() override { visible_ = true; }
    void Hide() override { visible_ = false; }
    bool Visible() const override { return visible_; }
    std::string Text(const std::string& control) const override;
    int ItemIndex(const std::string& control) const override;
    void SetOnClick(const std::string& control, std::function<void()> handler) override;
    void SetOnClose(std::function<void()> handler) override;

    // --- What a user would do ------------------------------------------------

    // An Edit's text (cut to its maximum length, as typing would be).
    void SetText(const std::string& control, const std::string& text);
    // A DropDownList's selection: an item index, or -1 for none. An index
    // outside the items throws std::out_of_range.
    void SetItemIndex(const std::string& control, int index);
    // Clicks a Button: its handler runs now.
    void Click(const std::string& control);
    // The close button: hides the window and runs the close handler.
    void Close();

private:
    struct Control {
        ControlSpec layout;
        std::string text;
        int itemIndex = -1;
        std::function<void()> onClick;
    };

    Control& Find(const std::string& control);
    const Control& Find(const std::string& control) const;

    std::map<std::string, Control> controls_;
    std::function<void()> onClose_;
    bool visible_ = false;
};

}  // namespace platform

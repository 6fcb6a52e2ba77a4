#include "platform/MemoryWindow.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Diagnostics.h"
#include "platform/HandOver.h"

namespace platform {

MemoryWindow::MemoryWindow(const WindowSpec& layout)
{
    for (const ControlSpec& c : layout.controls) {
        Control control{c, c.text, c.itemIndex, {}};
        if (c.kind == ControlKind::Memo) {
            for (std::size_t i = 0; i < c.lines.size(); ++i)
                control.text += (i == 0 ? "" : "\n") + c.lines[i];
        }
        if (c.kind == ControlKind::DropDownList && c.sorted)
            std::sort(control.layout.items.begin(), control.layout.items.end());
        if (c.kind == ControlKind::DropDownList &&
            (control.itemIndex < -1 || control.itemIndex >= static_cast<int>(control.layout.items.size())))
            control.itemIndex = -1;
        controls_[c.name] = std::move(control);
    }
}

MemoryWindow::Control& MemoryWindow::Find(const std::string& control)
{
    auto it = controls_.find(control);
    if (it == controls_.end())
        throw std::out_of_range("the window has no control " + control);
    return it->second;
}

const MemoryWindow::Control& MemoryWindow::Find(const std::string& control) const
{
    auto it = controls_.find(control);
    if (it == controls_.end())
        throw std::out_of_range("the window has no control " + control);
    return it->second;
}

std::string MemoryWindow::Text(const std::string& control) const
{
    const Control& c = Find(control);
    if (c.layout.kind == ControlKind::DropDownList)
        return c.itemIndex < 0 ? std::string() : c.layout.items[static_cast<std::size_t>(c.itemIndex)];
    return c.text;
}

int MemoryWindow::ItemIndex(const std::string& control) const
{
    const Control& c = Find(control);
    return c.layout.kind == ControlKind::DropDownList ? c.itemIndex : -1;
}

void MemoryWindow::SetOnClick(const std::string& control, std::function<void()> handler)
{
    Find(control).onClick = std::move(handler);
}

void MemoryWindow::SetOnClose(std::function<void()> handler) { onClose_ = std::move(handler); }

void MemoryWindow::SetText(const std::string& control, const std::string& text)
{
    Control& c = Find(control);
    c.text = c.layout.maxLength > 0 ? text.substr(0, static_cast<std::size_t>(c.layout.maxLength)) : text;
}

void MemoryWindow::SetItemIndex(const std::string& control, int index)
{
    Control& c = Find(control);
    if (index < -1 || index >= static_cast<int>(c.layout.items.size()))
        throw std::out_of_range(control + " has no item " + std::to_string(index));
    c.itemIndex = index;
}

void MemoryWindow::Click(const std::string& control)
{
    const std::function<void()> handler = Find(control).onClick;
    if (!handler)
        return;
    try {
        handler();
    } catch (...) {
        Diagnostic("Unhandled exception in a click handler: " + detail::DescribeCurrentException());
    }
}

void MemoryWindow::Close()
{
    visible_ = false;
    if (onClose_)
        onClose_();
}

}  // namespace platform

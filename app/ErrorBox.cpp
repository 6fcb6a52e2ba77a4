#include "app/ErrorBox.h"

#include <cstdio>
#include <exception>

#include "framework/ExceptionHandler.h"
#include "platform/MainWindow.h"

std::string ApplicationTitle(std::string_view ExeFileName)
{
    std::string title(ExeFileName.substr(0, ExeFileName.find('.')));
    for (std::size_t i = 1; i < title.size(); ++i) {
        if (title[i] >= 'A' && title[i] <= 'Z')
            title[i] = static_cast<char>(title[i] - 'A' + 'a');
    }
    return title;
}

std::string ApplicationTitle() { return ApplicationTitle(platform::ExecutableFileName()); }

std::string ErrorBoxText(std::string_view Message)
{
    std::string text(Message);
    // Compared as bytes: a character of the upper half sorts after "." too.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

void ShowErrorMessage(std::string_view Message, bool WithWindow)
{
    const std::string caption = ApplicationTitle();
    const std::string text = ErrorBoxText(Message);
    if (WithWindow) {
        platform::ShowErrorBox(caption, text);
        return;
    }
    const std::string line = caption + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void InstallErrorBoxHandler(bool WithWindow)
{
    SetExceptionHandler([WithWindow](const std::exception& E, const void*) { ShowErrorMessage(E.what(), WithWindow); });
}

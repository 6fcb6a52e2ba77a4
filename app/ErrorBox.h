#pragma once
// The program's error box: what the central exception handler shows.
//
// Caption: the application's title, made from the executable's file name.
// Text: the exception's message, with a full stop appended when its last
// character sorts after ".". Where the program runs without a window the
// same caption and text go to standard error as "<caption>: <text>".

#include <string>
#include <string_view>

// The file name up to its first full stop, every character after the first
// in lower case: "tarvel" for tarvel or tarvel.exe, "Tarvel" for TARVEL.EXE.
std::string ApplicationTitle(std::string_view ExeFileName);

// The title of the running program.
std::string ApplicationTitle();

// The message as the box shows it.
std::string ErrorBoxText(std::string_view Message);

// Shows the message in the program's error box, or (WithWindow false)
// writes it to standard error as one line "<caption>: <text>".
void ShowErrorMessage(std::string_view Message, bool WithWindow);

// Installs the central exception handler (framework/ExceptionHandler.h)
// that shows every exception it is handed with ShowErrorMessage.
void InstallErrorBoxHandler(bool WithWindow);

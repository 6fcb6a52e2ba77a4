#pragma once
// The main window Form1 as data: caption, designed position and size, font,
// and its controls with their texts, items, selections, limits and tab
// order. The toolkit back ends build the window from this description
// (platform/MainWindow.h).

#include <string>
#include <vector>

#include "platform/MainWindow.h"

// The 23 lines of the help text in Memo1, each with its leading blanks.
const std::vector<std::string>& HelpLines();

// The whole window: Form1 with Memo1, Label1..Label4, ComboBox1..ComboBox3,
// Edit1 and BitBtn1.
const platform::WindowSpec& Form1Description();

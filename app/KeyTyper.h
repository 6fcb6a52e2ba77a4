#pragma once
// The key typer: types one card text into whatever window has the focus, as
// synthetic key presses, reading FillZeroLength, AutoEnter and CardFormat
// (app/Settings.h). The keyboard and the pause are injected.
//
// Each character is handed to the keyboard, which finds its key and
// modifiers in the active layout. Each key has a 20 ms slot (Enter has none
// of its own; the final slot follows it), the slots counted from the start
// of the call: key k goes out at start + 20 ms x k.
//
// - Format 7 with a three-character text: the characters only, no zero fill,
//   no length test, no Enter, no final pause.
// - Otherwise a text longer than FillZeroLength is dropped whole; a shorter
//   one gets leading "0" keys up to FillZeroLength; format 10 types a Tab
//   before the text's fourth character; Enter follows when AutoEnter is 1;
//   then the final pause.
// - Only 0-9, A-F, a-f and "-" have keys; A-F are typed as the lower-case
//   letter. A text holding anything else is not typed at all (no zeros, no
//   Tab, no Enter).
// A refused text, a dropped text and a call with no keyboard are each
// reported with one line on the diagnostic stream.

#include <functional>
#include <string>

#include "platform/Keyboard.h"
#include "platform/Pause.h"

void TypeText(const std::string& T);

// A request from outside to end the program (any thread may make it): from
// then on TypeText presses no further key. A card being typed is abandoned
// between two keys, the key in hand released; later calls type nothing.
void RequestTypingStop();
// Takes the request back (tests).
void ClearTypingStop();
// True once a stop has been requested (and not taken back).
bool TypingStopRequested();

// Called on the typing thread before every pause of the typer (each key's
// slot and the final pause), so that the caller can do short work while a
// card is typed: the received-frame handler reads the port there, so that a
// reader sending cards back to back never fills the port's input queue. The
// time it takes is inside the slot. It must not type. Empty: none.
void SetKeyPauseHook(std::function<void()> hook);

// Not owned. nullptr: no keyboard, and TypeText types nothing.
void SetKeyboard(platform::IKeyboard* keyboard);

// Not owned. nullptr: platform::SystemPause().
void SetPause(platform::IPause* pause);

// The pause in use; ConvertFrame's 20 ms after format 7's prefix uses it too.
platform::IPause& Pause();

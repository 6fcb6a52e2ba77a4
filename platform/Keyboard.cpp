#include "platform/Keyboard.h"

namespace platform {

bool IsKeyboardCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-' || c == '\t' || c == '\r';
}

}  // namespace platform

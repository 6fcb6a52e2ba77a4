#include "framework/Exception.h"

#include "framework/Format.h"
#include "framework/Translation.h"

void RaiseInvalidInteger(const std::string& text)
{
    throw EConvertError(FormatText(TranslateResource("'%s' is not a valid integer value"), {text}));
}

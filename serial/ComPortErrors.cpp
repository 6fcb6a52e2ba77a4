#include "serial/ComPortErrors.h"

#include "framework/Format.h"
#include "framework/Translation.h"
#include "platform/Codepage.h"

namespace {

const std::array<std::u16string, TSerialErrorTexts::Count> MessageIds{
    u"Unable to open com port",
    u"WriteFile function failed",
    u"ReadFile function failed",
    u"Invalid Async parameter",
    u"PurgeComm function failed",
    u"Unable to get async status",
    u"SetCommState function failed",
    u"SetCommTimeouts failed",
    u"SetupComm function failed",
    u"ClearCommError function failed",
    u"GetCommModemStatus function failed",
    u"EscapeCommFunction function failed",
    u"TransmitCommChar function failed",
    u"Cannot set property while connected",
    u"EnumPorts function failed",
    u"Failed to store settings",
    u"Failed to load settings",
    u"Link (un)registration failed",
    u"Cannot change led state if ComPort is selected",
    u"Cannot wait for event if event thread is created",
    u"WaitForEvent method failed",
    u"A component is linked to OnRxBuf event",
    u"Registry error",
};

const std::u16string ErrorSuffix = u" (win error code: %d)";

const std::u16string NoText;

TSerialErrorTexts g_serialErrorTexts;

bool ValidCode(int code) { return code >= 1 && code <= TSerialErrorTexts::Count; }

std::string MessageWithOsCode(int errorCode, int winErrorCode)
{
    // Only the suffix is a template: the table text, translated from a
    // catalog we do not control, is joined as plain text so that a "%" in it
    // stays a "%".
    const std::string text = platform::WideToCodePage(SerialErrorTexts[errorCode]);
    const std::string suffix = platform::WideToCodePage(TranslateWide(ErrorSuffix));
    return text + FormatInt(suffix, winErrorCode);
}

}  // namespace

const TSerialErrorTexts& SerialErrorTexts = g_serialErrorTexts;

const std::u16string& TSerialErrorTexts::operator[](int code) const
{
    return ValidCode(code) ? texts_[static_cast<std::size_t>(code - 1)] : NoText;
}

const std::u16string& SerialErrorMessageId(int code)
{
    return ValidCode(code) ? MessageIds[static_cast<std::size_t>(code - 1)] : NoText;
}

EComPort::EComPort(int AErrorCode)
    : Exception(platform::WideToCodePage(SerialErrorTexts[AErrorCode])), winErrorCode_(-1), errorCode_(AErrorCode)
{
}

EComPort::EComPort(int AErrorCode, int AWinErrorCode)
    : Exception(MessageWithOsCode(AErrorCode, AWinErrorCode)), winErrorCode_(AWinErrorCode), errorCode_(AErrorCode)
{
}

void InitSerialErrorTexts()
{
    AddResourceDomain("comport");
    for (std::size_t i = 0; i < MessageIds.size(); ++i)
        g_serialErrorTexts.texts_[i] = TranslateWide(MessageIds[i]);
}

void FreeSerialErrorTexts()
{
    for (std::u16string& text : g_serialErrorTexts.texts_)
        std::u16string().swap(text);
}

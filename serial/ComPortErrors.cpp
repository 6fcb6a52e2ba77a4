#include "serial/ComPortErrors.h"

#include <iterator>
#include <string_view>

#include "framework/Format.h"
#include "framework/Translation.h"
#include "platform/Codepage.h"

namespace {

using Code = TComPortErrorCode;

struct MessageRow {
    Code code;
    std::u16string_view text;
};

// The English texts, one row per code in the order of the codes.
constexpr MessageRow MessageRows[] = {
    {Code::OpenFailed, u"Unable to open com port"},
    {Code::WriteFailed, u"WriteFile function failed"},
    {Code::ReadFailed, u"ReadFile function failed"},
    {Code::InvalidAsyncParameter, u"Invalid Async parameter"},
    {Code::PurgeFailed, u"PurgeComm function failed"},
    {Code::AsyncStatusFailed, u"Unable to get async status"},
    {Code::SetStateFailed, u"SetCommState function failed"},
    {Code::SetTimeoutsFailed, u"SetCommTimeouts failed"},
    {Code::SetupFailed, u"SetupComm function failed"},
    {Code::ClearErrorFailed, u"ClearCommError function failed"},
    {Code::ModemStatusFailed, u"GetCommModemStatus function failed"},
    {Code::EscapeFailed, u"EscapeCommFunction function failed"},
    {Code::TransmitCharFailed, u"TransmitCommChar function failed"},
    {Code::SetWhileConnected, u"Cannot set property while connected"},
    {Code::EnumPortsFailed, u"EnumPorts function failed"},
    {Code::StoreFailed, u"Failed to store settings"},
    {Code::LoadFailed, u"Failed to load settings"},
    {Code::LinkFailed, u"Link (un)registration failed"},
    {Code::LedStateWithPort, u"Cannot change led state if ComPort is selected"},
    {Code::WaitWithEventThread, u"Cannot wait for event if event thread is created"},
    {Code::WaitForEventFailed, u"WaitForEvent method failed"},
    {Code::RxBufLinked, u"A component is linked to OnRxBuf event"},
    {Code::RegistryError, u"Registry error"},
};
static_assert(std::size(MessageRows) == TSerialErrorTexts::Count);

constexpr bool RowsInCodeOrder()
{
    for (std::size_t i = 0; i < std::size(MessageRows); ++i)
        if (static_cast<std::size_t>(MessageRows[i].code) != i + 1)
            return false;
    return true;
}
// One message row per error code, in the order of the codes. (No message
// text here: every text of this file is offered for translation.)
static_assert(RowsInCodeOrder());

const std::array<std::u16string, TSerialErrorTexts::Count> MessageIds = [] {
    std::array<std::u16string, TSerialErrorTexts::Count> ids;
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = std::u16string(MessageRows[i].text);
    return ids;
}();

const std::u16string ErrorSuffix = u" (win error code: %d)";

const std::u16string NoText;

TSerialErrorTexts g_serialErrorTexts;

bool ValidCode(int code) { return code >= 1 && code <= TSerialErrorTexts::Count; }

std::string MessageWithOsCode(Code errorCode, int winErrorCode)
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

EComPort::EComPort(TComPortErrorCode AErrorCode)
    : Exception(platform::WideToCodePage(SerialErrorTexts[AErrorCode])),
      winErrorCode_(-1),
      errorCode_(static_cast<int>(AErrorCode))
{}

EComPort::EComPort(TComPortErrorCode AErrorCode, int AWinErrorCode)
    : Exception(MessageWithOsCode(AErrorCode, AWinErrorCode)),
      winErrorCode_(AWinErrorCode),
      errorCode_(static_cast<int>(AErrorCode))
{}

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

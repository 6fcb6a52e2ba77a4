#include <atomic>

#include "platform/SerialApi.h"

namespace platform {
namespace {
std::atomic<ISerialApi*> g_installed{nullptr};
}

ISerialApi& SerialApi()
{
    ISerialApi* api = g_installed.load(std::memory_order_acquire);
    return api != nullptr ? *api : SystemSerialApi();
}

ISerialApi* SetSerialApi(ISerialApi* api) { return g_installed.exchange(api, std::memory_order_acq_rel); }

}  // namespace platform

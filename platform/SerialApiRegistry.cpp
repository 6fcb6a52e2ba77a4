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

void SetSerialApi(ISerialApi* api) { g_installed.store(api, std::memory_order_release); }

}  // namespace platform

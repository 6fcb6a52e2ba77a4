#pragma once
// Installs a serial back end (usually a FakeSerialApi) for the component for
// as long as the guard lives, and puts back the one installed before it when
// it goes. Declare it after the back end it installs and before any port, so
// that ports close through it and it is removed before the back end dies.

#include "platform/SerialApi.h"

namespace platform {

class ScopedSerialApi {
public:
    explicit ScopedSerialApi(ISerialApi& api) : previous_(SetSerialApi(&api)) {}
    ~ScopedSerialApi() { SetSerialApi(previous_); }
    ScopedSerialApi(const ScopedSerialApi&) = delete;
    ScopedSerialApi& operator=(const ScopedSerialApi&) = delete;

private:
    ISerialApi* previous_;
};

}  // namespace platform

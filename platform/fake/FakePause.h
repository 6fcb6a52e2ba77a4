#pragma once
// A pause that records instead of sleeping.

#include <cstdint>
#include <vector>

#include "platform/Pause.h"

namespace platform {

class RecordingPause final : public IPause {
public:
    void Sleep(std::uint32_t milliseconds) override { pauses.push_back(milliseconds); }
    std::vector<std::uint32_t> pauses;
};

}  // namespace platform

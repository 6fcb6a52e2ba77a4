// The serial devices present, as Qt's serial port module finds them: through
// udev where it is available, else sysfs; ttyS ports without a UART behind
// them are left out.

#include <QSerialPortInfo>

#include <string>
#include <vector>

#include "platform/SerialPortList.h"

namespace platform {

std::vector<std::string> SerialDevicesFound()
{
    std::vector<std::string> paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QByteArray path = info.systemLocation().toLocal8Bit();
        if (!path.isEmpty())
            paths.emplace_back(path.constData(), static_cast<std::size_t>(path.size()));
    }
    return paths;
}

}  // namespace platform

#pragma once
// The device file behind a Windows device path ("\\.\" + port name):
//   a name starting with "/"    the name as it is ("/dev/pts/3", "/tmp/reader")
//   COMn, any letter case, n>0  /dev/ttyS<n-1>   (COM1 is /dev/ttyS0)
//   any other name              /dev/<name>      (ttyUSB0 is /dev/ttyUSB0)
// The prefix is optional. An empty name gives an empty path.

#include <string>

namespace platform::posix {

std::string DeviceFileForPort(const std::string& windowsPath);

}  // namespace platform::posix

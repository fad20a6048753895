#pragma once

namespace HangUp {

// QSerialPort::handle(): a file descriptor, or a HANDLE on Windows.
#ifdef _WIN32
using Handle = void *;
#else
using Handle = int;
#endif

// True when the device behind an open serial handle has hung up (POSIX POLLHUP). Recent Qt
// versions read such an end of file silently, so it has to be asked for.
bool detected(Handle handle);

} // namespace HangUp

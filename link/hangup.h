#pragma once

#include <QtGlobal>

namespace HangUp {

// True when the device behind an open serial handle has hung up (POSIX POLLHUP). Recent Qt
// versions read such an end of file silently, so it has to be asked for.
bool detected(qintptr handle);

} // namespace HangUp

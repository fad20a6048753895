#pragma once

// What orva exits with. Over several ports the highest counts.
namespace ExitStatus {
enum : int {
    Success = 0,
    NoAnswer = 1, // something got no answer, did not get there in time, or was not done
    PortFailed = 2, // a port could not be opened or was lost
    Usage = 64,
    CannotWrite = 73, // --output could not be written (the old file is as it was), or --record
};
} // namespace ExitStatus

#pragma once

#include "arguments.h"

// The commands that work on projectors: each on every listed port at once.
namespace Commands {

int send(const Arguments &arguments);
int report(const Arguments &arguments);
int wait(const Arguments &arguments);

} // namespace Commands

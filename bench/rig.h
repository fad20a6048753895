#pragma once

#include "support/ptyline.h"

// The real panel started on its stored port: a pseudo-terminal linked as COM3, whose master end
// plays the projector.
struct LineRig : PtyLine
{
    static constexpr int PortNumber = 3;

    explicit LineRig(const QByteArray &baudRate = "192")
        : PtyLine(PortNumber, baudRate)
    { }
};

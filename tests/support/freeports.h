#pragma once

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>

#include <memory>
#include <vector>

// `count` consecutive ports free on the loopback just now, below the range the system hands out
// for port 0, where tests that use port 0 never land, however many; 0 when none were found.
inline quint16 freePorts(int count)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const auto first
            = quint16(20000 + QRandomGenerator::global()->bounded(32768 - 20000 - count));
        std::vector<std::unique_ptr<QTcpServer>> probes;
        bool free = true;
        for (int i = 0; i < count && free; ++i) {
            probes.push_back(std::make_unique<QTcpServer>());
            free = probes.back()->listen(QHostAddress::LocalHost, quint16(first + i));
        }
        if (free)
            return first;
    }
    return 0;
}

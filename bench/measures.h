#pragma once

#include "bench.h"

#include <QStringList>

namespace Bench {

struct Options
{
    bool quick = false;
    bool compact = false; // the window at its start-up height, echo lines out of sight
    QStringList only; // sections to run; empty runs all
    int clicks = 1000;
    int replies = 1000;
    int receiveSamples = 200;
    int holdMs = 10000;
    int floodSeconds = 60;
    int idleSeconds = 10;
    int startups = 20;
    int productStartups = 10;
    int fleetRuns = 10;

    void makeQuick()
    {
        quick = true;
        clicks = 100;
        replies = 100;
        receiveSamples = 20;
        holdMs = 2000;
        floodSeconds = 5;
        idleSeconds = 2;
        startups = 5;
        productStartups = 3;
        fleetRuns = 3;
    }
    bool runs(const QString &section) const { return only.isEmpty() || only.contains(section); }
    bool runsAny(const QStringList &sections) const
    {
        for (const QString &section : sections) {
            if (runs(section))
                return true;
        }
        return false;
    }
};

void clickToWire(const Options &options, Table &table);
void replyToStatus(const Options &options, Table &table);
// Both figures again, the panel on COM4 through ser2net's RFC 2217 accepter on loopback.
void overRfc2217(const Options &options, Table &table);
void receiveCost(const Options &options, Table &table);
void holdRhythm(const Options &options, Table &table);
void flood(const Options &options, Table &table);
void startUp(const Options &options, Table &table);

// orva report on 1 and on 15 virtual projectors on pseudo-terminals, each answering after 30 ms.
void manyPorts(const Options &options, Table &table);
// orva report through a fleet file on 1, 15 and 100 virtual projectors serving raw TCP.
void manyTargets(const Options &options, Table &table);
// orva report through fleet files on 1, 100 and 1000 of one virtual-projector --count 1000, with
// orva's peak memory and threads; then all of them named, in the Prometheus text format.
void thousandTargets(const Options &options, Table &table);

// The child side of the start-up figure: the real window on the stored port, first frame, exit.
int startupChild(int argc, char **argv);

} // namespace Bench

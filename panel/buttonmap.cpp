#include "buttonmap.h"

#include <algorithm>

namespace ButtonMap {

namespace {

using A = Arrow;
using F = Face;
using K = Kind;

// Arrow buttons are 840 x 255 twips; a box's row of buttons stands at top 360.
constexpr int ArrowW = 840;
constexpr int ArrowH = 255;

// clang-format off
const QVector<Button> Table = {
    // POWER
    {17, "Frame1",  "ON",            A::None, F::OnGreen,    9,    "C00", K::Click, 0,  120,  360,  735, 420},
    {18, "Frame1",  "OFF",           A::None, F::OffRed,     9,    "C01", K::Click, 0,  120,  900,  735, 420},
    // INPUT 1
    {36, "Frame2",  "INPUT1",        A::None, F::Teal,       9,    "C05", K::Click, 0,  120,  360, 1230, 300},
    {27, "Frame2",  "Analog RGB",    A::None, F::Teal,       8.25, "C50", K::Click, 0, 1410,  360, 1230, 300},
    {28, "Frame2",  "SCRT",          A::None, F::Teal,       8.25, "C51", K::Click, 0, 2700,  360, 1230, 300},
    {29, "Frame2",  "HDMI",          A::None, F::Teal,       7.5,  "C4F", K::Click, 0, 3990,  360, 1230, 300},
    // INPUT 3
    {34, "Frame8",  "INPUT3",        A::None, F::Teal,       9,    "C07", K::Click, 0,  120,  360, 1075, 300},
    {4,  "Frame8",  "VIDEO",         A::None, F::Teal,       8.25, "C33", K::Click, 0, 1255,  360, 1075, 300},
    {11, "Frame8",  "S-VIDEO",       A::None, F::Teal,       8.25, "C34", K::Click, 0, 2390,  360, 1075, 300},
    // INPUT 2
    {15, "Frame11", "INPUT2",        A::None, F::Teal,       9,    "C06", K::Click, 0,  120,  360, 1230, 300},
    {40, "Frame11", "VIDEO",         A::None, F::Teal,       8.25, "C23", K::Click, 0, 1410,  360, 1230, 300},
    {65, "Frame11", "RGB",           A::None, F::Teal,       8.25, "C25", K::Click, 0, 2700,  360, 1230, 300},
    {64, "Frame11", "Y,Pb/Cb,Pr/Cr", A::None, F::Teal,       8.25, "C24", K::Click, 0, 3990,  360, 1230, 300},
    // INPUT 4
    {41, "Frame12", "NETWORK",       A::None, F::Teal,       9,    "C08", K::Click, 0,  120,  360, 1785, 300},
    // SOUND MUTE, VIDEO MUTE, FREEZE
    {19, "Frame3",  "ON",            A::None, F::OnGreen,    9,    "C0B", K::Click, 0,  120,  360,  770, 300},
    {20, "Frame3",  "OFF",           A::None, F::OffRed,     9,    "C0C", K::Click, 0,  946,  360,  770, 300},
    {21, "Frame4",  "ON",            A::None, F::OnGreen,    9,    "C0D", K::Click, 0,  120,  360,  770, 300},
    {22, "Frame4",  "OFF",           A::None, F::OffRed,     9,    "C0E", K::Click, 0,  946,  360,  770, 300},
    {25, "Frame7",  "ON",            A::None, F::OnGreen,    9,    "C43", K::Click, 0,  120,  360,  770, 300},
    {26, "Frame7",  "OFF",           A::None, F::OffRed,     9,    "C44", K::Click, 0,  946,  360,  770, 300},
    // ON START
    {69, "Frame13", "Enable",        A::None, F::OnGreen,    9.75, "C28", K::Click, 0,  120,  360,  790, 300},
    {70, "Frame13", "Disable",       A::None, F::OffRed,     9.75, "C29", K::Click, 0,  970,  360,  790, 300},
    // SCREEN
    {31, "Frame5",  "NORMAL",        A::None, F::Teal,       9,    "C0F", K::Click, 0,  120,  360, 1080, 300},
    {32, "Frame5",  "FULL",          A::None, F::Teal,       9,    "C10", K::Click, 0, 1260,  360, 1080, 300},
    // VOLUME, BRIGHT, D.ZOOM, ZOOM, FOCUS
    {1,  "Frame19", nullptr,         A::Up,   F::ArrowYellow, 9,   "C09", K::Hold,  1,  120,  360, ArrowW, ArrowH},
    {2,  "Frame19", nullptr,         A::Down, F::ArrowYellow, 9,   "C0A", K::Hold,  2,  120,  720, ArrowW, ArrowH},
    {30, "Frame17", nullptr,         A::Up,   F::ArrowYellow, 9,   "C20", K::Hold,  7,  120,  360, ArrowW, ArrowH},
    {42, "Frame17", nullptr,         A::Down, F::ArrowYellow, 9,   "C21", K::Hold,  8,  120,  720, ArrowW, ArrowH},
    {48, "Frame16", nullptr,         A::Up,   F::ArrowYellow, 9,   "C30", K::Hold,  9,  120,  360, ArrowW, ArrowH},
    {49, "Frame16", nullptr,         A::Down, F::ArrowYellow, 9,   "C31", K::Hold,  10, 120,  720, ArrowW, ArrowH},
    {39, "Frame18", nullptr,         A::Up,   F::ArrowYellow, 9,   "C47", K::Hold,  19, 120,  360, ArrowW, ArrowH},
    {43, "Frame18", nullptr,         A::Down, F::ArrowYellow, 9,   "C46", K::Hold,  20, 120,  720, ArrowW, ArrowH},
    {50, "Frame22", nullptr,         A::Up,   F::ArrowYellow, 9,   "C4B", K::Hold,  21, 120,  360, ArrowW, ArrowH},
    {51, "Frame22", nullptr,         A::Down, F::ArrowYellow, 9,   "C4A", K::Hold,  22, 120,  720, ArrowW, ArrowH},
    // LENS SHIFT
    {52, "Frame23", nullptr,         A::Up,   F::ArrowYellow, 9,   "C5D", K::Hold,  15, 662,  360, ArrowW, ArrowH},
    {57, "Frame23", nullptr,         A::Left, F::ArrowYellow, 9,   "C5F", K::Hold,  17, 120,  720, ArrowW, ArrowH},
    {58, "Frame23", nullptr,         A::Right,F::ArrowYellow, 9,   "C60", K::Hold,  18, 1204, 720, ArrowW, ArrowH},
    {59, "Frame23", nullptr,         A::Down, F::ArrowYellow, 9,   "C5E", K::Hold,  16, 662, 1080, ArrowW, ArrowH},
    // KEYSTONE
    {10, "Frame10", nullptr,         A::Up,   F::ArrowYellow, 9,   "C8E", K::Hold,  11, 662,  360, ArrowW, ArrowH},
    {37, "Frame10", nullptr,         A::Left, F::ArrowYellow, 9,   "C91", K::Hold,  13, 120,  720, ArrowW, ArrowH},
    {38, "Frame10", nullptr,         A::Right,F::ArrowYellow, 9,   "C90", K::Hold,  14, 1204, 700, ArrowW, ArrowH},
    {35, "Frame10", nullptr,         A::Down, F::ArrowYellow, 9,   "C8F", K::Hold,  12, 662, 1060, ArrowW, ArrowH},
    // Left column
    {3,  nullptr,   "DISPLAY CLEAR", A::None, F::Teal,       9,    "C1E", K::Click, 0,  120, 3550, 1500, 400},
    {73, nullptr,   "IMAGE",         A::None, F::Teal,       9,    "C27", K::Click, 0,  120, 4032, 1500, 350},
    {13, nullptr,   "AUTO PC ADJ.",  A::None, F::Teal,       9,    "C89", K::Click, 0,  120, 4463, 1500, 350},
    {14, nullptr,   "P-TIMER",       A::None, F::Teal,       9,    "C8A", K::Click, 0,  120, 4894, 1500, 350},
    // R/C KEY OFF
    {60, "Frame20", "NONE",          A::None, F::Teal,       9.75, "CF KEYDIS NONE",   K::Click, 0, 120,  600, 885, 315},
    {61, "Frame20", "R/C",           A::None, F::Teal,       9.75, "CF KEYDIS RCALL",  K::Click, 0, 120,  960, 885, 315},
    {62, "Frame20", "KEY",           A::None, F::Teal,       9.75, "CF KEYDIS KEYALL", K::Click, 0, 120, 1320, 885, 315},
    // POWER Management
    {71, "Frame14", "Ready",         A::None, F::Teal,       9,    "C2A", K::Click, 0,  120,  600, 1210, 315},
    {72, "Frame14", "OFF",           A::None, F::Teal,       9,    "C2B", K::Click, 0,  120,  960, 1210, 315},
    {56, "Frame14", "Shut down",     A::None, F::Teal,       9,    "C2E", K::Click, 0,  120, 1320, 1210, 315},
    // LAMP MODE
    {68, "Frame21", "NORMAL",        A::None, F::Teal,       9,    "CF LAMPMODE NORMAL", K::Click, 0, 120,  360, 1040, 300},
    {75, "Frame21", "HIGH",          A::None, F::Teal,       9,    "CF LAMPMODE HIGH",   K::Click, 0, 120,  690, 1040, 300},
    {63, "Frame21", "AUTO1",         A::None, F::Teal,       9,    "CF LAMPMODE AUTO1",  K::Click, 0, 120, 1020, 1040, 300},
    {66, "Frame21", "ECO1",          A::None, F::Teal,       9,    "CF LAMPMODE ECO1",   K::Click, 0, 120, 1350, 1040, 300},
    // MENU, and the cluster that lies over it
    {23, "Frame6",  "ON",            A::None, F::OnGreen,    9,    "C1C", K::Click, 0,  120,  360,  735, 375},
    {24, "Frame6",  "OFF",           A::None, F::OffRed,     9,    "C1D", K::Click, 0,  120,  780,  735, 375},
    {5,  nullptr,   nullptr,         A::Up,   F::ArrowYellow, 9,   "C3C", K::Hold,  3, 7880, 4150, ArrowW, ArrowH},
    {9,  nullptr,   nullptr,         A::Left, F::ArrowYellow, 9,   "C3B", K::Hold,  5, 7320, 4510, ArrowW, ArrowH},
    {8,  nullptr,   nullptr,         A::Right,F::ArrowYellow, 9,   "C3A", K::Hold,  6, 8340, 4510, ArrowW, ArrowH},
    {7,  nullptr,   nullptr,         A::Down, F::ArrowYellow, 9,   "C3D", K::Hold,  4, 7880, 4870, ArrowW, ArrowH},
    {6,  nullptr,   "ENTER",         A::None, F::Enter,      9,    "C3F", K::Click, 0, 6840, 4870, ArrowW, ArrowH},
    {16, nullptr,   "END",           A::None, F::End,        15.75, nullptr, K::End, 0, 9360, 4400, 900, 855},
    // Lower band: status reads, console and port
    {44, nullptr,   "STATUS",        A::None, F::StatusRead, 9.75, "CR0",         K::Click, 0, 8720, 5400, 1500, 300},
    {45, nullptr,   "MODE",          A::None, F::StatusRead, 9.75, "CR1",         K::Click, 0, 8720, 5700, 1500, 300},
    {54, nullptr,   "TEMP",          A::None, F::StatusRead, 9.75, "CR6",         K::Click, 0, 8720, 6000, 1500, 300},
    {47, nullptr,   "SETTING",       A::None, F::StatusRead, 9.75, "CR4",         K::Click, 0, 8720, 6300, 1500, 300},
    {46, nullptr,   "LAMP-TIME",     A::None, F::StatusRead, 9.75, "CR3",         K::Click, 0, 8720, 6600, 1500, 300},
    {55, nullptr,   "LAMP-STATUS",   A::None, F::StatusRead, 9,    "CR LAMPSTS",  K::Click, 0, 8720, 6900, 1500, 300},
    {76, nullptr,   "LAMP-MODE",     A::None, F::StatusRead, 9,    "CR LAMPMODE", K::Click, 0, 8720, 7200, 1500, 300},
    {74, nullptr,   "COMMANDTABLE",  A::None, F::Plain,      9.75, nullptr, K::CommandTable, 0, 6480, 6660, 1850, 375},
    {33, nullptr,   "COM",           A::None, F::Plain,      9.75, nullptr, K::Com,          0, 6480, 7080, 1850, 375},
};
// clang-format on

} // namespace

const QVector<Button> &buttons()
{
    return Table;
}

const Button *find(int number)
{
    const auto it = std::find_if(Table.cbegin(), Table.cend(),
                                 [number](const Button &b) { return b.number == number; });
    return it == Table.cend() ? nullptr : &*it;
}

QVector<QByteArray> repeatTable()
{
    QVector<QByteArray> commands;
    for (const Button &button : Table) {
        if (button.kind != Kind::Hold)
            continue;
        if (commands.size() < button.repeatIndex)
            commands.resize(button.repeatIndex);
        commands[button.repeatIndex - 1] = button.command;
    }
    return commands;
}

} // namespace ButtonMap

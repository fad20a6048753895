// Random bytes in random chunks, with timer ticks and new sends in between, against every kind of
// last command: the receive path must keep its bounds and never crash.
#include "fuzzing.h"

#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/render.h"
#include "support/fakeserialport.h"
#include "support/manualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

const QByteArray Commands[] = {
    "CR0", "CR1", "CR3", "CR4", "CR6", "CR LAMPSTS", "CR LAMPMODE", "C34", "CF LAMPMODE ECO1", ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    engine.open(PortChoice(1, PortChoice::Baud9600Code));
    engine.setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);

    const QByteArray &command
        = Commands[in.ConsumeIntegralInRange<size_t>(0, std::size(Commands) - 1)];
    engine.send(command);
    const bool isStatusRead = command.startsWith("CR");
    QByteArray received;

    while (in.remaining_bytes() > 0) {
        const auto action = in.ConsumeIntegral<uint8_t>();
        std::string chunk;
        if (action < 200) {
            chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(1, 64));
            port.feed(QByteArray(chunk.data(), qsizetype(chunk.size())));
            received += QByteArray(chunk.data(), qsizetype(chunk.size()));
        } else if (action < 220) {
            // A stream of unsolicited characters, to reach the buffer's bound.
            chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(1, 64));
            const QByteArray stream = QByteArray(chunk.data(), qsizetype(chunk.size()))
                                          .repeated(in.ConsumeIntegralInRange(1, 2000));
            port.feed(stream);
            received += stream;
        } else if (action < 240) {
            clock.advance(in.ConsumeIntegralInRange(0, 1500));
        } else {
            engine.sendAsTyped(engine.currentCommand());
            received.clear();
        }
        if (engine.received().isEmpty())
            received.clear(); // the reply window ended
        require(engine.received().size() <= Engine::MaxReceivedChars, "receive buffer bound");
        require(engine.received() == received.left(Engine::MaxReceivedChars),
                "received characters");
        // The display clear blanks the line but keeps what arrived; only a receive shows it again.
        if (!chunk.empty() && !engine.received().isEmpty())
            require(engine.display().rxd == Render::echo(engine.received()).text, "echo");
        if (!isStatusRead)
            require(engine.display().status.isEmpty(), "a decode without a status read");
        require(engine.display().status.size() < 200000, "status growth");
        require(port.writes.size() >= 1, "the first send");
    }
    return 0;
}

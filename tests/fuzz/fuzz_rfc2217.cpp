// Whatever a device server on the network sends, in whatever pieces the socket hands it over: the
// codec keeps its bounds, the pieces never change what it makes of the stream, and data escaped
// on the way out comes back unchanged.
#include "fuzzing.h"

#include "link/rfc2217.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
#define ORVA_HEAP_IN_USE() __sanitizer_get_current_allocated_bytes()
#endif
#endif
#ifndef ORVA_HEAP_IN_USE
#define ORVA_HEAP_IN_USE() size_t(0)
#endif

namespace {

using Codec = Rfc2217Codec;

// All a codec made of a stream, whatever the pieces.
struct Outcome
{
    QByteArray data;
    QByteArray reply;
    std::optional<qint32> baudRate;
    bool comPortRefused = false;

    bool operator==(const Outcome &other) const
    {
        return data == other.data && reply == other.reply && baudRate == other.baudRate
            && comPortRefused == other.comPortRefused;
    }
};

// The 64 bytes of a sub-negotiation it keeps, with what a byte array adds; the rest of its state
// is fixed.
constexpr size_t MaxStateHeap = 256;

// Pieces of the given lengths in turn, each checked against its bounds as it comes out.
Outcome feedInPieces(Codec &codec, const QByteArray &stream, const std::vector<int> &lengths)
{
    Outcome outcome;
    const size_t heapBefore = ORVA_HEAP_IN_USE();
    qsizetype at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        {
            const QByteArray piece = stream.mid(at, lengths[i % lengths.size()]);
            at += piece.size();
            const Codec::Result result = codec.feed(piece);
            require(result.data.size() <= piece.size(), "data longer than its piece");
            // An IAC and a verb at the end of the last piece end in this one.
            require(result.reply.size() <= piece.size() + 2, "reply longer than its piece");
            outcome.data += result.data;
            outcome.reply += result.reply;
            if (result.baudRate)
                outcome.baudRate = result.baudRate;
            outcome.comPortRefused = outcome.comPortRefused || result.comPortRefused;
        }
        require(ORVA_HEAP_IN_USE() <= heapBefore + size_t(outcome.data.capacity())
                        + size_t(outcome.reply.capacity()) + MaxStateHeap,
                "state growing with the stream");
    }
    return outcome;
}

Outcome feedWhole(const QByteArray &stream)
{
    Codec codec;
    return feedInPieces(codec, stream, {int(std::max<qsizetype>(stream.size(), 1))});
}

// Every answer is a whole three-byte negotiation, never a sub-negotiation or data.
bool wellFormed(const QByteArray &reply)
{
    if (reply.size() % 3 != 0)
        return false;
    for (qsizetype i = 0; i < reply.size(); i += 3) {
        const quint8 verb = quint8(reply.at(i + 1));
        if (quint8(reply.at(i)) != Codec::Iac || verb < Codec::Will || verb > Codec::Dont)
            return false;
    }
    return true;
}

// An option we do not take is refused once on each side, never again: two peers that both kept
// refusing would answer each other for ever.
bool refusedOnce(const QByteArray &reply)
{
    std::array<int, 512> refusals {};
    for (qsizetype i = 0; i + 2 < reply.size(); i += 3) {
        const quint8 verb = quint8(reply.at(i + 1));
        const quint8 option = quint8(reply.at(i + 2));
        const bool taken = option == Codec::Binary || option == Codec::SuppressGoAhead
            || option == Codec::ComPort;
        if (!taken && (verb == Codec::Wont || verb == Codec::Dont)
            && ++refusals[(verb == Codec::Wont ? 256 : 0) + option] > 1)
            return false;
    }
    return true;
}

// Data is the stream with commands taken out and IAC IAC made one: its bytes in their order.
bool inOrderWithin(const QByteArray &data, const QByteArray &stream)
{
    qsizetype at = 0;
    for (const char byte : data) {
        at = stream.indexOf(byte, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(bytes), qsizetype(size));
    // Piece lengths from the first bytes, so that the fuzzer moves the cuts too.
    std::vector<int> lengths;
    for (qsizetype i = 0; i < std::min<qsizetype>(stream.size(), 8); ++i)
        lengths.push_back(1 + quint8(stream.at(i)) % 32);
    if (lengths.empty())
        lengths.push_back(1);

    const Outcome whole = feedWhole(stream);
    require(whole.reply.size() <= stream.size(), "more answers than negotiations");
    require(wellFormed(whole.reply), "a malformed answer");
    require(refusedOnce(whole.reply), "a refusal repeated");
    require(inOrderWithin(whole.data, stream), "data that was not sent");
    if (!stream.contains(char(Codec::Iac)))
        require(whole == Outcome {stream, {}, {}, false}, "plain data changed");

    Codec codec;
    require(feedInPieces(codec, stream, {1}) == whole, "byte by byte");
    codec.reset();
    require(feedInPieces(codec, stream, lengths) == whole, "in pieces, after a reset");
    // What the codec keeps from one piece to the next stays within its bound however long the
    // stream goes on.
    Codec longRun;
    const size_t heapBefore = ORVA_HEAP_IN_USE();
    for (int round = 0; round < 4; ++round) {
        feedInPieces(longRun, stream, lengths);
        require(ORVA_HEAP_IN_USE() <= heapBefore + MaxStateHeap, "state growing over the stream");
    }

    const QByteArray escaped = Codec::escape(stream);
    require(escaped.size() == stream.size() + stream.count(char(Codec::Iac)), "escape doubles IAC");
    Codec plain;
    require(feedInPieces(plain, escaped, lengths) == Outcome {stream, {}, {}, false},
            "escaped data round trip");
    return 0;
}

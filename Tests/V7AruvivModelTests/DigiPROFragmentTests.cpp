#include <gtest/gtest.h>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "Support/SimulatedDigiPROEmitter.h"
#include "V7Aruviv/Models/DigiPROFinalFragmentConsolidator.h"
#include "V7Aruviv/Models/DigiPROFramedFragmentAssembler.h"

namespace k7 {
namespace {

using testing::SimulatedDigiPROEmitter;
using Assembler = DigiPROFramedFragmentAssembler;
using T = Assembler::Transition;
using Order = SimulatedDigiPROEmitter::Order;

const Bytes& wave5() {
    static const Bytes message = SimulatedDigiPROEmitter::waveform(5, "SAW1");
    return message;
}

// The 4000-byte first piece and its 3029-byte continuation.
std::vector<Bytes> halves(const Bytes& message = wave5(), Order order = Order::firstPieceFirst) {
    return SimulatedDigiPROEmitter::split(message, 3999, 3027, order);
}

Bytes withByte(Bytes message, std::size_t index, uint8_t value) {
    message[index] = value;
    return message;
}

std::string decodeError(const Bytes& message) {
    try {
        DigiPROWaveform::decode(message);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

const Bytes elektron{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0x01};  // no F7 needed to count as Elektron
const Bytes universal{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7};
const Bytes empty{0xF0, 0xF7};
const Bytes unterminated{0xF0, 0x01, 0x02};

Bytes continuation(std::size_t payload, uint8_t fill = 0x11) {
    Bytes message(payload + 2, fill);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

TEST(DigiPROFramedFragmentAssembler, ReleasesJoinsOrRejectsEveryPieceAsReceived) {
    const auto [first, rest] = [] {
        const auto pieces = halves();
        return std::pair{pieces[0], pieces[1]};
    }();
    ASSERT_EQ(first.size(), 4000u);
    ASSERT_EQ(rest.size(), 3029u);
    const Bytes corruptRest = withByte(rest, 100, rest[100] ^ 0x01);
    const Bytes highByte = withByte(rest, 7, 0x80);
    const Bytes otherFirst = halves(SimulatedDigiPROEmitter::waveform(9, "SQR2"))[0];
    const Bytes noSlot = withByte(first, 9, 0x40);
    const auto thirds = SimulatedDigiPROEmitter::split(wave5(), 3999, 1514);  // 4000, 1516, 1515
    Bytes corruptJoined(first.begin(), first.end() - 1);
    corruptJoined.insert(corruptJoined.end(), corruptRest.begin() + 1, corruptRest.end());
    using Output = Assembler::Output;
    const Output buffered{{}, T::Buffered{5, 1, 4000, 3999}};

    struct Case {
        const char* name;
        std::vector<Bytes> input;
        std::vector<Output> expected;  // one per message
    };
    const std::vector<Case> cases{
        {"whole message", {wave5()}, {{{wave5()}, T::None{}}}},
        {"two pieces", {first, rest}, {buffered, {{wave5()}, T::Joined{5, 2, 7029}}}},
        {"three pieces",
         thirds,
         {buffered, {{}, T::Buffered{5, 2, 5516, 5513}}, {{wave5()}, T::Joined{5, 3, 7031}}}},
        {"pieces that do not decode",
         {first, corruptRest},
         {buffered, {{first, corruptRest}, T::Rejected{5, 2, 7029, decodeError(corruptJoined)}}}},
        {"other traffic passes while held",
         {first, elektron, universal, empty, unterminated, rest},
         {buffered,
          {{elektron}, T::None{}},
          {{universal}, T::None{}},
          {{empty}, T::None{}},
          {{unterminated}, T::None{}},
          {{wave5()}, T::Joined{5, 2, 7029}}}},
        {"payload byte above 7F",
         {first, highByte},
         {buffered,
          {{first, highByte}, T::Rejected{5, 2, 7029, "continuation was not a seven-bit framed payload"}}}},
        {"continuation longer than the room",
         {first, continuation(3028)},
         {buffered,
          {{first, continuation(3028)},
           T::Rejected{5, 2, 7030, "continuation exceeded the fixed DigiPRO frame length"}}}},
        {"a new first piece replaces the held one",
         {first, otherFirst},
         {buffered, {{first}, T::Buffered{9, 1, 4000, 3999}}}},
        {"a whole message releases the held piece first",
         {first, wave5()},
         {buffered, {{first, wave5()}, T::None{}}}},
        {"no valid slot", {noSlot}, {{{}, T::Buffered{std::nullopt, 1, 4000, 3999}}}},
        {"continuation with nothing held", {rest}, {{{rest}, T::None{}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Assembler assembler;
        ASSERT_EQ(c.input.size(), c.expected.size());
        for (std::size_t i = 0; i < c.input.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(assembler.consume(c.input[i]), c.expected[i]);
        }
    }
}

TEST(DigiPROFramedFragmentAssembler, FlushReleasesWhatIsHeldOnce) {
    const auto pieces = SimulatedDigiPROEmitter::split(wave5(), 3999, 1500);
    Assembler assembler;
    assembler.consume(pieces[0]);
    assembler.consume(pieces[1]);
    EXPECT_EQ(assembler.flush(), (Assembler::Output{{pieces[0], pieces[1]}, T::Flushed{5, 2, 5502}}));
    EXPECT_EQ(assembler.flush(), Assembler::Output{});
    // After a flush the next piece starts afresh.
    EXPECT_EQ(assembler.consume(pieces[2]), (Assembler::Output{{pieces[2]}, T::None{}}));
}

TEST(DigiPROFinalFragmentConsolidator, JoinsRunsInEitherOrderAndLeavesTheRestInPlace) {
    const auto forward = halves();
    const auto backward = halves(wave5(), Order::continuationsFirst);
    const Bytes wave9 = SimulatedDigiPROEmitter::waveform(9, "SQR2");
    const auto nine = SimulatedDigiPROEmitter::split(wave9, 2000, 2600);  // 2001 + 2602 + 2427
    const Bytes corruptRest = withByte(forward[1], 50, forward[1][50] ^ 0x02);
    const Bytes other{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7};
    using Join = DigiPROFinalFragmentConsolidator::Join;

    struct Case {
        const char* name;
        std::vector<Bytes> input;
        std::vector<Bytes> expected;
        std::vector<Join> joins;
    };
    const std::vector<Case> cases{
        {"piece then continuation", forward, {wave5()}, {{5, 2, 7029}}},
        {"continuation then piece", backward, {wave5()}, {{5, 2, 7029}}},
        {"the run is replaced in place",
         {other, backward[0], backward[1], wave9},
         {other, wave5(), wave9},
         {{5, 2, 7029}}},
        {"several continuations before",
         {nine[1], nine[2], nine[0]},
         {wave9},
         {{9, 3, static_cast<int64_t>(nine[0].size() + nine[1].size() + nine[2].size())}}},
        {"two waveforms, one each way",
         {forward[0], forward[1], nine[1], nine[2], nine[0]},
         {wave5(), wave9},
         {{5, 2, 7029}, {9, 3, static_cast<int64_t>(nine[0].size() + nine[1].size() + nine[2].size())}}},
        {"neighbours carry more than is missing",
         {forward[0], continuation(3028)},
         {forward[0], continuation(3028)},
         {}},
        {"joined bytes that do not decode", {forward[0], corruptRest}, {forward[0], corruptRest}, {}},
        {"a whole waveform is no continuation", {wave9, forward[0]}, {wave9, forward[0]}, {}},
        {"nothing to join", {other, wave5()}, {other, wave5()}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto output = DigiPROFinalFragmentConsolidator::consolidate(c.input);
        EXPECT_EQ(output.messages, c.expected);
        EXPECT_EQ(output.joins, c.joins);
        // Joining only ever removes the F7 and F0 bytes that framed the pieces.
        const auto framing = 2 * (c.input.size() - c.expected.size());
        EXPECT_EQ(SysExFileCodec::join(c.input).size(), SysExFileCodec::join(output.messages).size() + framing);
    }
}

}  // namespace
}  // namespace k7

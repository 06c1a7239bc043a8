#include <gtest/gtest.h>

#include <future>

#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedSDSReceiver.h"

namespace k7::testing {
namespace {

// The driver and the session on their own default queues and timer queues, against a mock on a
// real-time queue: the queue hops and locks under a sanitizer, not the protocol.
std::shared_ptr<MockMIDITransport> connectedTransport() {
    auto transport = std::make_shared<MockMIDITransport>(MIDIEndpointSnapshot{
        {{1, "In", std::nullopt, std::nullopt, true}}, {{2, "Out", std::nullopt, std::nullopt, true}}});
    transport->selectInput(1);
    transport->selectOutput(2);
    return transport;
}

TEST(SDSOnDefaultQueues, DriverCompletesAgainstARealTimeSamplerAndUnhooksOnRelease) {
    auto transport = connectedTransport();
    auto device = std::make_shared<SimulatedSDSReceiver>(SimulatedSDSReceiver::Options{});
    transport->setPeer([device](const MockMIDITransport::SentMessage& sent) { return device->hear(sent.bytes); });
    auto callbacks = std::make_shared<SerialQueue>("test.callbacks");
    std::promise<SDSSenderDriverResult> done;
    {
        SDSSenderDriver driver(transport, callbacks, true);  // takes the sampler's replies from the transport
        driver.onCompletion = [&](const SDSSenderDriverResult& result) { done.set_value(result); };
        const SDSDumpHeader header(0, 1, 16, 44100.0, 400, 0, 0, 0x7F);
        driver.start(SDSSenderStateMachine(header, sds_wire::testSignal(400), std::nullopt, {},
                                           senderConfiguration(true)));
        auto future = done.get_future();
        ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
        EXPECT_TRUE(std::holds_alternative<SDSSenderDriverCompletion>(future.get()));
    }
    EXPECT_EQ(device->samples(), sds_wire::testSignal(400));
    EXPECT_FALSE(static_cast<bool>(transport->onReceiveBytes));
}

TEST(SDSOnDefaultQueues, SessionCompletesAndCancelsFromAnotherThread) {
    auto transport = connectedTransport();
    auto callbacks = std::make_shared<SerialQueue>("test.callbacks");
    std::promise<SDSReceiveCompletion> completed;
    std::promise<SDSReceiveSessionFailure> failed;
    SDSReceiveSession session(transport, receiverConfiguration(false), SDSReceiveFormat::wav, callbacks);
    session.onCompleted = [&](const SDSReceiveCompletion& c) { completed.set_value(c); };
    session.onFailure = [&](const SDSReceiveSessionFailure& f) { failed.set_value(f); };
    transport->onReceiveBytes = [&](const Bytes& message) { session.receive(message); };

    const auto samples = sds_wire::testSignal(200);
    transport->inject(sds_wire::classicHeader(0, 3, 16, period44100, 200));
    for (const auto& packet : sds_wire::packets(0, samples, 16)) transport->inject(packet);
    auto completion = completed.get_future();
    ASSERT_EQ(completion.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(completion.get().samples, samples);

    // A second dump left hanging, cancelled from this thread.
    transport->inject(sds_wire::classicHeader(0, 4, 16, period44100, 200));
    auto failure = failed.get_future();
    while (!std::holds_alternative<sds_receiver_status::Receiving>(session.receiverStatus())) {
        ASSERT_NE(failure.wait_for(1ms), std::future_status::ready);
    }
    session.cancel();
    ASSERT_EQ(failure.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(failure.get(), SDSReceiveSessionFailure::transfer(sds_failure::LocalCancelled{}));
    transport->onReceiveBytes = nullptr;
}

}  // namespace
}  // namespace k7::testing

#include <atomic>
#include <thread>

#include "Gen1Fixture.h"

namespace gen1test {

namespace {

VX_packet junkPacket() { return VX_packet{99, 99, 99, 99, 99, 99}; }

}  // namespace

// An asynchronous system whose controller sends what each test wants.
class PacketQueue : public Gen1Test {
protected:
    void SetUp() override {
        simulateTcp(SystemSetup::standard(3, true, 1));
        ASSERT_EQ(openTcp("async"), 0u);
        // The mode packet is not confirmed; once it is in, the start-up is.
        ASSERT_TRUE(vxtest::waitUntil([&] { return !model().synchronous(); }));
    }
    void toHost(std::initializer_list<Bytes> packets) {
        Bytes all;
        for (const Bytes& p : packets) all.insert(all.end(), p.begin(), p.end());
        endpoint().sendToHost(all);
    }
    VX_packet receive(VX_STATUS expected = 0, uint32_t timeoutMs = 2000, bool remove = true) {
        VX_packet packet = junkPacket();
        EXPECT_EQ(system->receiveNextPacket(timeoutMs, &packet, remove), expected);
        return packet;
    }
};

TEST_F(PacketQueue, ReceiveThatTimesOutGivesAnEmptyPacket) {
    VX_packet packet = receive(0, 50);
    EXPECT_EQ(packet.packetType, 0u);
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(packet.data1, 0u);
    EXPECT_EQ(packet.data2, 0);
    EXPECT_EQ(packet.data3, 0);
    EXPECT_EQ(packet.data4, 0u);
}

TEST_F(PacketQueue, PacketsArriveInOrderWhateverTheByteStreamSplit) {
    for (size_t chunk : {1, 2, 5}) {
        endpoint().setChunkSize(chunk);
        toHost({gen1Packet(word(1), 0xE0), gen1Packet(word(0), 0xA4, {0xFE, 0xFF, 0xFF, 0xFF}),
                gen1Packet(word(2), 0x92, {0x10, 0x00}), gen1Packet(word(0), 0xF0)});
        VX_packet p = receive();
        EXPECT_EQ(p.packetType, 3u);
        EXPECT_EQ(p.channelIndex, 1u);
        EXPECT_EQ(p.data1, 0u) << "a completion carries only its type and channel";
        p = receive();
        EXPECT_EQ(p.packetType, 2u);
        EXPECT_EQ(p.data2, -2);
        p = receive();
        EXPECT_EQ(p.packetType, 10u) << "0x92 from an end effector is its opening";
        EXPECT_EQ(p.channelIndex, 2u);
        EXPECT_EQ(p.data1, 16u);
        p = receive();
        EXPECT_EQ(p.packetType, 255u) << "an acknowledge is an other packet";
    }
}

TEST_F(PacketQueue, PacketsFromModulesThatAreNoChannelGive12) {
    toHost({gen1Packet(0x0008, 0xF0), gen1Packet(0x0002, 0x17, Bytes(7, 0)),
            gen1Packet(word(1), 0x92, {1, 0})});
    receive(12);
    receive(12);
    receive(12);  // 0x92 from a class 0x6000 positioner has no packet type
    receive(0, 50);
}

TEST_F(PacketQueue, LookLeavesThePacketForTheReceive) {
    toHost({gen1Packet(word(0), 0x81, {4}), gen1Packet(word(0), 0x81, {5})});
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->queuedPackets() == 2; }));
    EXPECT_EQ(receive(0, 2000, false).data1, 4u);
    EXPECT_EQ(receive(0, 2000, false).data1, 4u);
    EXPECT_EQ(receive().data1, 4u);
    ASSERT_EQ(system->discardPacket(), 0u);
    EXPECT_EQ(receive(0, 50).packetType, 0u);
    EXPECT_EQ(system->discardPacket(), 0u) << "nothing to discard is no error";
}

TEST_F(PacketQueue, The257thPacketIsDroppedAndReportedOnceTheQueueDrains) {
    std::vector<Bytes> packets;
    Bytes all;
    for (int i = 0; i < 257; ++i) {
        Bytes p = gen1Packet(word(0), 0xA4, {uint8_t(i), uint8_t(i >> 8), 0, 0});
        all.insert(all.end(), p.begin(), p.end());
    }
    endpoint().sendToHost(all);
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->receiveStatus() == 22; }));
    EXPECT_EQ(system->queuedPackets(), 256u);
    for (int i = 0; i < 256; ++i) {
        VX_packet p = receive(0, 0);
        ASSERT_EQ(p.data2, i);
    }
    receive(22, 0);
    receive(22, 100);
}

TEST_F(PacketQueue, CancelGivenBeforeAReceiveEndsIt) {
    ASSERT_EQ(system->cancelWaitForPacket(), 0u);
    receive(20);
    EXPECT_EQ(receive(0, 20).packetType, 0u) << "a cancel counts once";
}

TEST_F(PacketQueue, CancelEndsAWaitingReceive) {
    std::atomic<VX_STATUS> status{99};
    std::thread waiter([&] {
        VX_packet packet;
        status = system->receiveNextPacket(0xFFFFFFFF, &packet, true);
    });
    // Until the cancel lands the waiter keeps waiting: no packet ever comes.
    ASSERT_TRUE(vxtest::waitUntil([&] {
        system->cancelWaitForPacket();
        return status != 99;
    }));
    waiter.join();
    EXPECT_EQ(status.load(), 20u);
}

TEST_F(PacketQueue, CloseEndsReceivesThatWouldWaitForEver) {
    vxtest::Latch<VX_STATUS> waited;
    std::thread waiter([&] {
        VX_packet packet;
        waited.set(system->receiveNextPacket(0xFFFFFFFF, &packet, true));
    });
    ASSERT_EQ(system->close(), 0u);
    VX_STATUS status = 99;
    const bool ended = waited.wait(3000ms, &status);
    if (!ended) system->cancelWaitForPacket();  // so that the join below returns
    waiter.join();
    EXPECT_TRUE(ended) << "a closed system has no device left to answer";
    EXPECT_EQ(status, 20u);

    // A receive that starts after the close ends at once as well.
    const auto started = std::chrono::steady_clock::now();
    receive(20, 3000);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

TEST_F(PacketQueue, LostConnectionIsReportedAfterTheQueuedPackets) {
    toHost({gen1Packet(word(0), 0x81, {1}), gen1Packet(word(1), 0x81, {2})});
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->queuedPackets() == 2; }));
    endpoint().disconnectAll();
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->receiveStatus() == 10; }));
    EXPECT_EQ(receive().data1, 1u);
    EXPECT_EQ(receive().data1, 2u);
    receive(10);
    receive(10);
}

TEST_F(PacketQueue, BufferedOutputHoldsCommandsUntilFlushed) {
    uint32_t mode = 7;
    ASSERT_EQ(system->getBufferedOutput(&mode), 0u);
    EXPECT_EQ(mode, 0u);
    EXPECT_EQ(system->setBufferedOutput(2), 9u);
    ASSERT_EQ(system->setBufferedOutput(1), 0u);
    ASSERT_EQ(system->getBufferedOutput(&mode), 0u);
    EXPECT_EQ(mode, 1u);

    endpoint().clearRequests();
    // 85 stops of 3 bytes fill 255 of the 256 bytes.
    for (int i = 0; i < 85; ++i) ASSERT_EQ(system->stop(0, false), 0u) << i;
    EXPECT_EQ(system->stop(0, false), 149u);
    EXPECT_EQ(system->triggerCommand(1), 149u);
    EXPECT_EQ(endpoint().requestCount(), 0u);
    ASSERT_EQ(system->flushOutput(), 0u);
    ASSERT_TRUE(endpoint().waitForRequests(85, 2000ms));
    EXPECT_EQ(endpoint().requests().back(), gen1Packet(word(0), 0x80));

    // 84 stops and a 4-byte trigger fill the 256 bytes exactly; one byte more does not fit.
    endpoint().clearRequests();
    for (int i = 0; i < 84; ++i) ASSERT_EQ(system->stop(0, false), 0u) << i;
    EXPECT_EQ(system->triggerCommand(1), 0u);
    EXPECT_EQ(system->stop(0, false), 149u);
    ASSERT_EQ(system->flushOutput(), 0u);
    ASSERT_TRUE(endpoint().waitForRequests(85, 2000ms));

    // Switching buffering off drops what was not flushed.
    endpoint().clearRequests();
    ASSERT_EQ(system->gotoPosition(1, 100, 0, false, false), 0u);
    ASSERT_EQ(system->setBufferedOutput(0), 0u);
    EXPECT_EQ(system->flushOutput(), 0u);
    ASSERT_EQ(system->stop(2, false), 0u);
    ASSERT_TRUE(endpoint().waitForRequests(1, 2000ms));
    EXPECT_EQ(endpoint().requests().front(), gen1Packet(word(2), 0x80));
}

TEST_F(PacketQueue, IndexMapAndSystemWideCommandsPassTheOutputBuffer) {
    ASSERT_EQ(system->setBufferedOutput(1), 0u);
    endpoint().clearRequests();
    uint8_t value = 0;
    ASSERT_EQ(system->readIndexFromIndexMap(5, &value), 0u);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(endpoint().requestCount(), 1u);
}

using QueueModes = Gen1Test;

TEST_F(QueueModes, QueueOperationsNeedAnOpenAsynchronousSystem) {
    simulateTcp(SystemSetup::standard(1, false));
    system = std::make_unique<qmx::System>();
    VX_packet packet;
    uint32_t mode;
    EXPECT_EQ(system->receiveNextPacket(0, &packet, true), 2u);
    EXPECT_EQ(system->discardPacket(), 2u);
    EXPECT_EQ(system->cancelWaitForPacket(), 2u);
    EXPECT_EQ(system->setBufferedOutput(1), 2u);
    EXPECT_EQ(system->getBufferedOutput(&mode), 2u);
    EXPECT_EQ(system->flushOutput(), 2u);

    ASSERT_EQ(openTcp(), 0u);
    EXPECT_EQ(system->receiveNextPacket(0, &packet, true), 13u);
    EXPECT_EQ(system->discardPacket(), 13u);
    EXPECT_EQ(system->cancelWaitForPacket(), 13u);
    EXPECT_EQ(system->setBufferedOutput(1), 13u);
    EXPECT_EQ(system->getBufferedOutput(&mode), 13u);
    EXPECT_EQ(system->flushOutput(), 13u);
}

TEST_F(QueueModes, SynchronousCommandIgnoresAnAnswerThatCameTooLate) {
    simulateTcp(SystemSetup::standard(1, false));
    ASSERT_EQ(openTcp(), 0u);
    model().setPosition(0, 111);
    endpoint().addFault(Fault::late({word(0), 0x90}, 2100ms, 1));
    int32_t position = 0;
    EXPECT_EQ(system->getPosition(0, true, &position), 15u);
    ASSERT_TRUE(endpoint().waitForLateAnswers(1, 3000ms));
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->queuedPackets() == 1; }));

    model().setPosition(0, 222);
    ASSERT_EQ(system->getPosition(0, true, &position), 0u);
    EXPECT_EQ(position, 222);
}

TEST_F(QueueModes, CloseWaitsForTheCommandInFlight) {
    simulateTcp(SystemSetup::standard(1, false));
    ASSERT_EQ(openTcp(), 0u);
    model().setPosition(0, 333);
    endpoint().addFault(Fault::late({word(0), 0x90}, 300ms, 1));
    endpoint().clearRequests();
    VX_STATUS status = 99;
    int32_t position = 0;
    std::thread command([&] { status = system->getPosition(0, true, &position); });
    ASSERT_TRUE(endpoint().waitForRequests(1, 2000ms));
    EXPECT_EQ(system->close(), 0u);
    command.join();
    // A close that cut the command off would have left it without its answer.
    EXPECT_EQ(status, 0u) << "the close did not wait for the command's answer";
    EXPECT_EQ(position, 333);
}

}  // namespace gen1test

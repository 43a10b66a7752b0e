#include <poll.h>

#include <gtest/gtest.h>

#include <QTcpSocket>

#include <chrono>
#include <string>

#include "QMXControl.h"
#include "Peers.h"
#include "QMXConnection.h"

using namespace std::chrono_literals;

namespace {

using connectiontest::Peers;
using vxsim::TextFault;

// Both direct connections to one controller, opened once; each test runs
// its case over the serial line and over TCP.
class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        peers = new Peers;
        serial = new QMXConnection;
        network = new QMXConnection;
        ASSERT_EQ(serial->openSystem(QString::fromStdString(peers->serialLocator())), VX_OK);
        ASSERT_EQ(network->openSystem(QString::fromStdString(peers->textServer.locator())),
                  VX_OK);
    }
    static void TearDownTestSuite() {
        for (QMXConnection* connection : {serial, network}) {
            if (connection->mode() != QMXConnection::Closed) connection->closeSystem();
            delete connection;
        }
        delete peers;
    }
    void SetUp() override {
        ASSERT_EQ(serial->mode(), QMXConnection::Serial);
        ASSERT_EQ(network->mode(), QMXConnection::Network);
    }
    void TearDown() override { peers->text.clearFaults(); }

    // Waits until bytes the controller sent have reached the host's side.
    static bool arrivedAtHost(QMXConnection* connection) {
        if (connection == serial) {
            pollfd entry{peers->pty.hostFd(), POLLIN, 0};
            return ::poll(&entry, 1, 2000) == 1;
        }
        return connection->findChild<QTcpSocket*>()->waitForReadyRead(2000);
    }

    // The next command is answered by its own reply.
    static void nextCommandAnswered(QMXConnection* connection) {
        uint32_t type = 7;
        EXPECT_EQ(connection->getChannelType(2, &type), VX_OK);
        EXPECT_EQ(type, 1u);
    }

    static Peers* peers;
    static QMXConnection* serial;
    static QMXConnection* network;
};

Peers* Faults::peers = nullptr;
QMXConnection* Faults::serial = nullptr;
QMXConnection* Faults::network = nullptr;

const char* nameOf(QMXConnection* connection, QMXConnection* serial) {
    return connection == serial ? "serial" : "network";
}

TEST_F(Faults, ReplyInPiecesIsCollectedUpToItsLineFeed) {
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.addFault(TextFault::pieces("GSN", 2, 150ms, 1));
        uint32_t serialNumber = 0;
        EXPECT_EQ(connection->getChannelSerialNumber(0, &serialNumber), VX_OK);
        EXPECT_EQ(serialNumber, 8448u);
        nextCommandAnswered(connection);
    }
}

TEST_F(Faults, LateReplyDoesNotAnswerTheNextCommand) {
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.addFault(TextFault::late("GNC", 1300ms, 1));
        const size_t delayedBefore = peers->text.delayedWrites();
        uint32_t count = 7;
        EXPECT_EQ(connection->getNumberOfChannels(&count), VX_TIMEOUT);
        EXPECT_EQ(count, 7u);
        ASSERT_TRUE(peers->text.waitForDelayedWrites(delayedBefore + 1, 2000ms));
        ASSERT_TRUE(arrivedAtHost(connection));
        nextCommandAnswered(connection);
    }
}

TEST_F(Faults, AStrayLineFeedBeforeTheReplyIsSkipped) {
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.addFault(TextFault::replace("GCT2", "\n:CT2,1\n", 1));
        nextCommandAnswered(connection);
    }
}

// The controller answers one command at a time: the reply to RTP0,2 comes
// after its time-out, just before the reply to the next request.
TEST_F(Faults, TheLateReplyOfAnEarlierRequestIsSkipped) {
    const int32_t expected = peers->model.tableValue(0, vxsim::ControllerModel::Table::Tuning, 3);
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.addFault(TextFault::busy("RTP0,2", 1300ms, 1));
        uint32_t value = 7;
        EXPECT_EQ(connection->readTuningParameter(0, 2, &value), VX_TIMEOUT);
        EXPECT_EQ(connection->readTuningParameter(0, 3, &value), VX_OK);
        EXPECT_EQ(value, static_cast<uint32_t>(expected));
        nextCommandAnswered(connection);
    }
}

TEST_F(Faults, ASkippedLateReplyDoesNotLengthenTheWait) {
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.clearFaults();
        peers->text.addFault(TextFault::late("RTP0,2", 1300ms, 1));
        peers->text.addFault(TextFault::silent("RTP0,3"));
        uint32_t value = 7;
        EXPECT_EQ(connection->readTuningParameter(0, 2, &value), VX_TIMEOUT);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(connection->readTuningParameter(0, 3, &value), VX_TIMEOUT);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);
        peers->text.clearFaults();
        nextCommandAnswered(connection);
    }
}

TEST_F(Faults, BrokenReplies) {
    struct Case {
        const char* what;
        TextFault fault;
        uint32_t status;
    };
    const Case cases[] = {
        {"half a line, then silence", TextFault::replace("GCP", ":CPR0,"), VX_TIMEOUT},
        {"a line that never ends", TextFault::replace("GCP", ":CPR0," + std::string(300, '1')),
         VX_PROTOCOL_ERROR},
        {"success without a value", TextFault::replace("GCP", ":E0,0\n"), VX_PROTOCOL_ERROR},
        {"a value that does not convert", TextFault::replace("GCP", ":CPR0,1,0x\n"),
         VX_PROTOCOL_ERROR},
        {"a number beyond 32 bits", TextFault::replace("GCP", ":CPR0,1,4294967296\n"),
         VX_INTERNAL_ERROR},
        {"the controller's code", TextFault::error("GCP", 129), 129},
        {"no reply", TextFault::silent("GCP"), VX_TIMEOUT},
    };
    for (QMXConnection* connection : {serial, network}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(connection, serial)) + ": " + c.what);
            peers->text.clearFaults();
            peers->text.addFault(c.fault);
            int32_t value = 7;
            EXPECT_EQ(connection->getChannelProperty(0, 8, 22, 47, &value), c.status);
            EXPECT_EQ(value, 7);
            peers->text.clearFaults();
            nextCommandAnswered(connection);
        }
    }
}

// The serial number of another channel answers nothing that was asked: 14
// (protocol error), and the caller's value stays.
TEST_F(Faults, ASerialNumberOfAnotherChannelIsAProtocolError) {
    for (QMXConnection* connection : {serial, network}) {
        SCOPED_TRACE(nameOf(connection, serial));
        peers->text.addFault(TextFault::replace("GSN", ":SN1,8448\n", 1));
        uint32_t serialNumber = 7;
        EXPECT_EQ(connection->getChannelSerialNumber(0, &serialNumber), 14u);
        EXPECT_EQ(serialNumber, 7u);
        nextCommandAnswered(connection);
    }
}

// Last: the TCP connection is gone afterwards.
TEST_F(Faults, DroppedConnectionIsAReadError) {
    peers->text.addFault(TextFault::disconnect("GNC", 1));
    uint32_t count = 7;
    EXPECT_EQ(network->getNumberOfChannels(&count), VX_READ_ERROR);
    // The connection does not close by itself.
    EXPECT_EQ(network->mode(), QMXConnection::Network);
    EXPECT_NE(network->getNumberOfChannels(&count), VX_OK);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(network->closeSystem(), VX_OK);
}

}  // namespace

#include "EthernetPort.h"

#include <gtest/gtest.h>

#include <QTcpSocket>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/TcpServer.h"
#include "terminal/Support.h"

namespace {

using namespace std::chrono_literals;
using terminaltest::Received;
using terminaltest::waitFor;

// A peer that reads and answers nothing; the test sends through the server.
class QuietPeer : public vxsim::LinkHandler {
public:
    void onReceive(vxsim::Link&, const uint8_t*, size_t) override {}
};

bool sendChunk(vxsim::TcpServer& server, const std::string& bytes) {
    return server.sendToAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 1;
}

TEST(EthernetPortAddress, BlanksRemovedThenPlainDottedForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"010.000.000.001", "10.0.0.1"},
        {"192.168.001.200", "192.168.1.200"},
        {"000.000.000.000", "0.0.0.0"},
        {"1.2.3.0", "1.2.3.0"},
        {"192.168.1  .2  ", "192.168.1.2"},
        {" 127. 0. 0.  1", "127.0.0.1"},
        {"255.255.255.255", "255.255.255.255"},
        {"256.1.1.1", "256.1.1.1"},
        {"1.2.3", "1.2.3"},
        {"1.2.3.4.5", "1.2.3.4.5"},
        {"local host", "localhost"},
        {"", ""},
    };
    for (const auto& [typed, normal] : cases) {
        EXPECT_EQ(EthernetPort::normalizeAddress(QString::fromLatin1(typed)),
                  QString::fromLatin1(normal))
            << typed;
    }
}

TEST(EthernetPortOpen, ConnectedAlreadyOpenAndRefusedAtOnce) {
    QuietPeer peer;
    auto server = std::make_unique<vxsim::TcpServer>(peer);
    const uint16_t port = server->port();
    EthernetPort ethernet;
    // Leading zeros and the blanks of the address field are no hindrance.
    EXPECT_EQ(ethernet.open(QStringLiteral("127.000.000.001 "), port), EthernetPort::Opened);
    EXPECT_TRUE(ethernet.isOpen());
    EXPECT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), port), EthernetPort::AlreadyOpen);
    ASSERT_TRUE(server->waitAccepted(1, 5000ms));
    ethernet.close();
    EXPECT_FALSE(ethernet.isOpen());
    // Closed and at once opened again.
    EXPECT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), port), EthernetPort::Opened);
    EXPECT_TRUE(server->waitAccepted(2, 5000ms));
    ethernet.close();

    server.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), port), EthernetPort::NotConnected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_FALSE(ethernet.isOpen());
    EXPECT_FALSE(ethernet.write(QStringLiteral("x")));
}

TEST(EthernetPortRead, EachChunkAsUtf8UpToItsFirstNul) {
    QuietPeer peer;
    vxsim::TcpServer server(peer);
    EthernetPort ethernet;
    ASSERT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), server.port()), EthernetPort::Opened);
    ASSERT_TRUE(server.waitOpenLinks(1, 5000ms));
    Received received(ethernet);
    const QString replacement(QChar::ReplacementCharacter);
    const std::pair<std::string, QString> chunks[] = {
        {std::string("AB\0CD", 5), QStringLiteral("AB")},
        {std::string(1, '\0'), QString()},
        {"\xC3\xA4", QString(QChar(0xE4))},
        // The two halves of that character, in two chunks, stay apart.
        {"\xC3", replacement},
        {"\xA4", replacement},
        {":N3\n", QStringLiteral(":N3\n")},
    };
    int count = 0;
    for (const auto& [bytes, text] : chunks) {
        ASSERT_TRUE(sendChunk(server, bytes));
        ASSERT_TRUE(received.waitCount(++count));
        EXPECT_EQ(received.texts.back(), text) << count;
    }
}

TEST(EthernetPortWrite, Utf8WhileConnectedAndFailureOnceThePeerDropped) {
    QuietPeer peer;
    vxsim::TcpServer server(peer);
    EthernetPort ethernet;
    ASSERT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), server.port()), EthernetPort::Opened);
    ASSERT_TRUE(server.waitOpenLinks(1, 5000ms));
    EXPECT_TRUE(ethernet.write(QString("a") + QChar(0xE4) + QChar(0x1FF)));

    server.closeAll();
    const auto* socket = ethernet.findChild<QTcpSocket*>();
    ASSERT_NE(socket, nullptr);
    ASSERT_TRUE(waitFor([&] { return socket->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(ethernet.write(QStringLiteral("lost")));
    EXPECT_TRUE(ethernet.isOpen());
    ethernet.close();
    EXPECT_FALSE(ethernet.isOpen());
    EXPECT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), server.port()), EthernetPort::Opened);
    EXPECT_TRUE(ethernet.write(QStringLiteral("again")));
}

}  // namespace

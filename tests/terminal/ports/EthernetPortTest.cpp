#include "EthernetPort.h"

#include <gtest/gtest.h>

#include <QTcpSocket>

#include <chrono>
#include <memory>
#include <string>

#include "sim/TcpServer.h"
#include "terminal/Support.h"

namespace {

using namespace terminaltest;

// A peer that answers nothing; the test speaks through its server.
struct QuietPeer : vxsim::LinkHandler {
    void onReceive(vxsim::Link&, const uint8_t*, size_t) override {}
};

TEST(EthernetPort, AddressesAreNormalisedWhereTheyParse) {
    const std::pair<const char*, const char*> cases[] = {
        {"010.000.000.001", "10.0.0.1"}, {"192.168.001.200", "192.168.1.200"},
        {"000.000.000.000", "0.0.0.0"},  {"1.2.3.0", "1.2.3.0"},
        {" 127. 0.  0.1 ", "127.0.0.1"}, {"256.1.1.1", "256.1.1.1"},
        {"1.2.3", "1.2.3"},              {"local host", "localhost"},
    };
    for (const auto& [typed, normal] : cases)
        EXPECT_EQ(EthernetPort::normalizeAddress(typed), normal) << typed;
}

TEST(EthernetPort, OpenWriteAndAPeerThatDrops) {
    QuietPeer peer;
    auto server = std::make_unique<vxsim::TcpServer>(peer);
    const uint16_t port = server->port();
    EthernetPort ethernet;
    EXPECT_EQ(ethernet.open("127.000.000.001 ", port), 0);
    EXPECT_EQ(ethernet.open("127.0.0.1", port), 1);
    ASSERT_TRUE(server->waitOpenLinks(1, 5000ms));
    EXPECT_TRUE(ethernet.write(QString("a") + QChar(0x1FF)));

    server->closeAll();
    const auto* socket = ethernet.findChild<QTcpSocket*>();
    ASSERT_TRUE(waitFor([&] { return socket->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(ethernet.write("lost"));
    EXPECT_TRUE(ethernet.isOpen());
    ethernet.close();
    EXPECT_FALSE(ethernet.isOpen());
    EXPECT_EQ(ethernet.open("127.0.0.1", port), EthernetPort::Opened);
    ethernet.close();

    server.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ethernet.open("127.0.0.1", port), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_FALSE(ethernet.isOpen());
}

TEST(EthernetPort, EachChunkIsUtf8NulBytesIncluded) {
    QuietPeer peer;
    vxsim::TcpServer server(peer);
    EthernetPort ethernet;
    ASSERT_EQ(ethernet.open("127.0.0.1", server.port()), EthernetPort::Opened);
    ASSERT_TRUE(server.waitOpenLinks(1, 5000ms));
    Received received(ethernet);
    const std::pair<std::string, QString> chunks[] = {
        {std::string("AB\0CD", 5), QString("AB") + QChar(0) + "CD"},
        {std::string(1, '\0'), QString(QChar(0))},
        {"\xC3\xA4", QString(QChar(0xE4))},
        // The halves of that character, in two chunks, stay apart.
        {"\xC3", QString(QChar::ReplacementCharacter)},
        {"\xA4", QString(QChar::ReplacementCharacter)},
    };
    for (const auto& [bytes, text] : chunks) {
        ASSERT_EQ(server.sendToAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                  1u);
        ASSERT_TRUE(received.waitCount(received.texts.size() + 1));
        EXPECT_EQ(received.texts.back(), text);
    }
}

}  // namespace

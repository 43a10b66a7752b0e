#include "EthernetPort.h"

#include <QByteArray>
#include <QTcpSocket>

#include <string>

#include "platform/Ipv4.h"

namespace {

constexpr int kConnectTimeoutMs = 5000;

}  // namespace

EthernetPort::EthernetPort(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
    connect(socket_, &QTcpSocket::readyRead, this, &EthernetPort::readString);
}

EthernetPort::~EthernetPort() { close(); }

QString EthernetPort::normalizeAddress(const QString& ip) {
    QString text = ip;
    text.remove(QLatin1Char(' '));
    // Characters beyond Latin-1 become "?", which no address holds.
    if (const auto address = vxplatform::parseIpv4(text.toLatin1().toStdString()))
        return QString::fromStdString(vxplatform::formatIpv4(*address));
    return text;
}

int EthernetPort::open(const QString& ip, quint16 port) {
    if (open_) return AlreadyOpen;
    // A connection closed with data still going out may linger; it must not
    // keep the new attempt from starting.
    if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->abort();
    socket_->connectToHost(normalizeAddress(ip), port, QIODevice::ReadWrite,
                           QAbstractSocket::AnyIPProtocol);
    if (!socket_->waitForConnected(kConnectTimeoutMs)) {
        socket_->abort();
        return NotConnected;
    }
    open_ = true;
    return Opened;
}

void EthernetPort::close() {
    if (!open_) return;
    // What was written still goes out; the socket closes once it has.
    socket_->flush();
    socket_->disconnectFromHost();
    open_ = false;
}

bool EthernetPort::write(const QString& text) {
    if (!open_ || socket_->state() != QAbstractSocket::ConnectedState) return false;
    const QByteArray bytes = text.toUtf8();
    if (socket_->write(bytes) < 0) return false;
    socket_->flush();
    return true;
}

void EthernetPort::readString() {
    if (!open_) return;
    emit receivedString(receivedText(socket_->readAll(), ReceivedForm::Utf8));
}

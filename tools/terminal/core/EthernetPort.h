#pragma once

#include <QObject>
#include <QString>

#include "TextPort.h"

class QTcpSocket;

// A TCP connection to a controller, worked entirely in the owner's thread:
// what arrives is emitted as text (UTF-8, each chunk whole, NUL bytes
// included), what is written goes out as UTF-8.
class EthernetPort : public QObject, public TextPort {
    Q_OBJECT

public:
    enum OpenResult : int { Opened = 0, AlreadyOpen = 1, NotConnected = 2 };

    explicit EthernetPort(QObject* parent = nullptr);
    ~EthernetPort() override;

    // Connects to `ip` (normalised first) and `port`, waiting up to 5000 ms;
    // an attempt that has not succeeded by then is abandoned.
    int open(const QString& ip, quint16 port);
    void close();
    // Stays true after the peer drops the connection, until close().
    bool isOpen() const { return open_; }

    // False when closed or when the connection is gone; otherwise the text
    // as UTF-8 in one write.
    bool write(const QString& text) override;

    // Blanks removed; then a dotted IPv4 address in its plain form (leading
    // zeros of each part dropped), anything else as it stands.
    static QString normalizeAddress(const QString& ip);

public slots:
    void readString();

signals:
    void receivedString(QString data);

private:
    QTcpSocket* socket_;
    bool open_ = false;
};

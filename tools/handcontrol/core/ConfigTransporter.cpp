#include "ConfigTransporter.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cstdint>

#include "BoundedFileQt.h"
#include "ConfigurationFile.h"
#include "HandControlErrors.h"
#include "QMXHConfiguration.h"

namespace {

// Room for the largest slot of any type.
constexpr size_t kSlotBufferSize = 5000;
constexpr int kDone = 100;

// Progress after `done` of `total` units, rounded down.
int percent(int done, int total) { return done * kDone / total; }

}  // namespace

ConfigTransporter::ConfigTransporter(QObject* parent) : QObject(parent) {
    qRegisterMetaType<QMXHConfiguration*>();
    qRegisterMetaType<QMXH*>();
}

ConfigTransporter::~ConfigTransporter() {
    if (connection_.mode() != QMXConnection::Closed) connection_.closeSystem();
}

void ConfigTransporter::readConfigurationFromDevice(QMXHConfiguration* config, QMXH* qmxh) {
    config_ = config;
    qmxh_ = qmxh;
    operation_ = ReadFromDevice;
    run();
}

void ConfigTransporter::writeConfigurationToDevice(QMXH* qmxh, QMXHConfiguration* config) {
    qmxh_ = qmxh;
    config_ = config;
    operation_ = WriteToDevice;
    run();
}

void ConfigTransporter::loadConfigurationFromFile(QMXHConfiguration* config, QString fileName) {
    config_ = config;
    fileName_ = fileName;
    operation_ = LoadFromFile;
    run();
}

void ConfigTransporter::saveConfigurationToFile(QString fileName, QMXHConfiguration* config) {
    fileName_ = fileName;
    config_ = config;
    operation_ = SaveToFile;
    run();
}

void ConfigTransporter::verifyConfiguration(QMXH* qmxh, QMXHConfiguration* config) {
    qmxh_ = qmxh;
    config_ = config;
    operation_ = Verify;
    run();
}

void ConfigTransporter::connectToDevice(QString locator) {
    locator_ = locator;
    operation_ = Connect;
    run();
}

void ConfigTransporter::disconnectFromDevice() {
    operation_ = Disconnect;
    run();
}

void ConfigTransporter::initMembers() { operation_ = Idle; }

void ConfigTransporter::abortOperation() { abort_ = true; }

void ConfigTransporter::run() {
    emit progress(0);
    abort_ = false;
    int code = kHcNoError;
    switch (operation_) {
    case ReadFromDevice:
        code = readFromDevice();
        break;
    case WriteToDevice:
        code = writeToDevice();
        break;
    case LoadFromFile:
        code = loadFromFile();
        break;
    case SaveToFile:
        code = saveToFile();
        break;
    case Verify:
        code = verify();
        break;
    case Connect:
        code = connectDevice();
        break;
    case Disconnect:
        code = disconnectDevice();
        break;
    default:
        break;
    }
    if (code == kHcNoError) {
        emit progress(kDone);
        if (operation_ == Connect || operation_ == Disconnect) emit progress(kDone);
    }
    emit error(code);
    operation_ = Idle;
    // Back home before finished() stops the thread, so that the owner can
    // move the worker again for the next operation.
    if (QCoreApplication* application = QCoreApplication::instance())
        moveToThread(application->thread());
    emit finished();
}

bool ConfigTransporter::unitDone(int value) {
    emit progress(value);
    return abort_;
}

int ConfigTransporter::readSlot(int slot, uint8_t* buffer) {
    unsigned length = static_cast<unsigned>(config_->slotSize());
    if (connection_.readHCMConfigSlot(slot, buffer, length) != 0) return kHcReadError;
    // A slot of another length would land at the wrong place.
    if (length != static_cast<unsigned>(config_->slotSize())) return kHcReadError;
    return kHcNoError;
}

int ConfigTransporter::readFromDevice() {
    int type = 0;
    if (connection_.readHCMEepromType(type) != 0) return kHcReadError;
    int size = 0;
    if (const int code = config_->setType(type, size)) return code;
    uint8_t buffer[kSlotBufferSize];
    const int slotTotal = config_->slotCount();
    for (int slot = 0; slot < slotTotal; ++slot) {
        if (const int code = readSlot(slot, buffer)) return code;
        const bool stop = unitDone(percent(slot, slotTotal));
        config_->copySlotIn(slot, buffer, static_cast<unsigned>(config_->slotSize()));
        if (stop) return kHcAborted;
    }
    return kHcNoError;
}

int ConfigTransporter::writeToDevice() {
    int type = 0;
    if (connection_.readHCMEepromType(type) != 0) return kHcReadError;
    if (type != config_->type()) return kHcConfigurationMismatch;
    uint8_t buffer[kSlotBufferSize];
    const int slotTotal = config_->slotCount();
    for (int slot = 0; slot < slotTotal; ++slot) {
        config_->copySlotOut(slot, buffer, sizeof buffer);
        unsigned length = static_cast<unsigned>(config_->slotSize());
        if (connection_.writeHCMConfigSlot(slot, buffer, length) != 0) return kHcWriteError;
        if (unitDone(percent(slot, slotTotal))) return kHcAborted;
    }
    return kHcNoError;
}

int ConfigTransporter::verify() {
    int type = 0;
    if (connection_.readHCMEepromType(type) != 0) return kHcReadError;
    if (type != config_->type()) return kHcConfigurationMismatch;
    uint8_t buffer[kSlotBufferSize];
    const int slotTotal = config_->slotCount();
    const auto slotSize = static_cast<size_t>(config_->slotSize());
    for (int slot = 0; slot < slotTotal; ++slot) {
        if (const int code = readSlot(slot, buffer)) return code;
        const uint8_t* image = config_->data() + static_cast<size_t>(slot) * slotSize;
        if (!std::equal(buffer, buffer + slotSize, image)) return kHcVerificationFailed;
        if (unitDone(percent(slot, slotTotal))) return kHcAborted;
    }
    return kHcNoError;
}

int ConfigTransporter::loadFromFile() {
    QByteArray bytes;
    if (vxfile::readWholeFile(fileName_, bytes, hcmc::kMaxFileBytes) != vxfile::FileRead::Read)
        return kHcFileReadError;
    int type = 0;
    if (const int code = hcmc::checkFile(bytes, type)) return code;
    // Filled apart, so that a refused or aborted load leaves the
    // configuration as the user last saw it.
    QMXHConfiguration loaded;
    int size = 0;
    if (const int code = loaded.setType(type, size)) return code;
    const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData()) + hcmc::kHeaderSize;
    for (int offset = 0; offset < size; offset += QMXHConfiguration::kChunkSize) {
        if (const int code = loaded.writeChunk(offset, image + offset)) return code;
        if (unitDone(percent(offset, size))) return kHcAborted;
    }
    config_->takeFrom(loaded);
    return kHcNoError;
}

int ConfigTransporter::saveToFile() {
    // Written beside the file and put in its place only when complete, so
    // that a failed or aborted save leaves an earlier file as it was.
    // Unbuffered, so that every failed write shows in its own result: a
    // failure while the buffer is flushed at commit would go unnoticed.
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return kHcFileWriteError;
    const QByteArray header = hcmc::header(config_->type());
    if (file.write(header) != header.size()) return kHcFileWriteError;
    const int size = config_->size();
    for (int offset = 0; offset < size; offset += QMXHConfiguration::kChunkSize) {
        uint8_t chunk[QMXHConfiguration::kChunkSize];
        if (const int code = config_->readChunk(offset, chunk)) return code;
        constexpr auto kChunkBytes = static_cast<qint64>(sizeof chunk);
        if (file.write(reinterpret_cast<const char*>(chunk), kChunkBytes) != kChunkBytes)
            return kHcFileWriteError;
        if (unitDone(percent(offset, size))) return kHcAborted;
    }
    return file.commit() ? kHcNoError : kHcFileWriteError;
}

int ConfigTransporter::connectDevice() {
    // The connection's own code says nothing the user could act on.
    return connection_.openSystem(locator_) == 0 ? kHcNoError : kHcConnectFailed;
}

int ConfigTransporter::disconnectDevice() {
    connection_.closeSystem();
    return kHcNoError;
}

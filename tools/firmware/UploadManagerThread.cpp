#include "UploadManagerThread.h"

#include <iterator>
#include <string>

#include "DataBlockSequence.h"

namespace {

// The text each task announces before its work, by code.
constexpr const char* kAnnouncements[] = {
    nullptr,
    "Connecting...",
    "Reading system configuration...",
    "Writing system configuration...",
    "Entering application state...",
    "Entering bootloader state...",
    "Updating...",
};
constexpr int kTaskCount = static_cast<int>(std::size(kAnnouncements));

constexpr int32_t kApplicationState = 2;
constexpr int32_t kBootloaderState = 3;

}  // namespace

UploadManagerThread::UploadManagerThread(QObject* parent) : QThread(parent) {
    qRegisterMetaType<UploadManagerTask>();
}

UploadManagerThread::~UploadManagerThread() { wait(); }

void UploadManagerThread::setSystem(vxfw::UpdateSystem* system) {
    system_ = system;
    if (system_) system_->setProgressCallback(this);
}

void UploadManagerThread::startTask(UploadManagerTask task) {
    task_ = static_cast<int>(task);
    QThread::start(InheritPriority);
}

void UploadManagerThread::start(Priority) {}

void UploadManagerThread::progress(int current, int overall) { emit progressChanged(current, overall); }

void UploadManagerThread::task(const std::string& text) {
    emit taskChanged(QString::fromLatin1(text.c_str()));
}

void UploadManagerThread::run() {
    const int code = task_;
    if (!system_ || code < 1 || code >= kTaskCount) return;
    task(kAnnouncements[code]);
    switch (static_cast<UploadManagerTask>(code)) {
    case UploadManagerTask::Connect:
        result_ = system_->connect();
        break;
    case UploadManagerTask::ReadConfiguration: {
        vxdata::DataBlockSequence blocks;
        result_ = system_->readConfiguration(blocks);
        if (result_.empty() && !blocks.write(kConfigurationFile)) result_ = blocks.lastError();
        break;
    }
    case UploadManagerTask::WriteConfiguration: {
        vxdata::DataBlockSequence blocks;
        result_ = blocks.read(kConfigurationFile) ? system_->writeConfiguration(blocks) : blocks.lastError();
        break;
    }
    case UploadManagerTask::EnterApplication:
        result_ = system_->getState() == kApplicationState ? std::string()
                                                            : system_->enterState(kApplicationState);
        // The page shows the outcome until its next text arrives.
        task(std::string(kAnnouncements[code]) + (result_.empty() ? " Done." : " Failed."));
        break;
    case UploadManagerTask::EnterBootloader:
        result_ = system_->getState() == kBootloaderState ? std::string()
                                                           : system_->enterState(kBootloaderState);
        break;
    case UploadManagerTask::Update:
        result_ = system_->updateAll();
        break;
    case UploadManagerTask::None:
        break;
    }
}

#include "demo/AnswerWriter.h"

#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace kestrovan {
namespace {

constexpr qint64 kMaxQueuedBytes = 256 * 1024;
constexpr qint64 kSliceBytes = 64 * 1024;
constexpr int kDripIntervalMs = 100;
// Lets the client read the half body before the reset discards what is still in flight.
constexpr int kResetAfterMs = 50;

const QByteArray kEndlessFiller = "kestrovan endless body, still streaming\n";

} // namespace

QByteArray ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

void AnswerWriter::Start(QTcpSocket* socket, SiteAnswer answer, bool headOnly) {
    // Owned by the socket: deleted with it, whichever side ends the connection.
    auto* writer = new AnswerWriter(socket, std::move(answer), headOnly);
    writer->Begin();
}

AnswerWriter::AnswerWriter(QTcpSocket* socket, SiteAnswer answer, bool headOnly)
    : QObject(socket), socket_(socket), answer_(std::move(answer)), headOnly_(headOnly) {
    dripTimer_.setInterval(kDripIntervalMs);
    dripTimer_.setTimerType(Qt::PreciseTimer);
    connect(&dripTimer_, &QTimer::timeout, this, &AnswerWriter::Pump);
}

void AnswerWriter::Begin() {
    if (answer_.delayMs > 0) {
        const int delay = std::exchange(answer_.delayMs, 0);
        QTimer::singleShot(delay, Qt::PreciseTimer, this, &AnswerWriter::Begin);
        return;
    }
    if (!socket_ || answer_.hang) {
        return;
    }
    if (answer_.closeWithoutAnswer) {
        socket_->disconnectFromHost();
        return;
    }
    WriteHead();
    if (headOnly_) {
        limit_ = 0;
    } else if (answer_.endless) {
        limit_ = -1;
    } else {
        limit_ = answer_.resetMidBody ? answer_.body.size() / 2 : answer_.body.size();
    }
    if (answer_.endless && answer_.body.isEmpty()) {
        answer_.body = kEndlessFiller;
    }
    if (answer_.dripBytesPerSecond > 0 && limit_ != 0) {
        dripTimer_.start();
    } else {
        connect(socket_, &QTcpSocket::bytesWritten, this, &AnswerWriter::Pump);
    }
    Pump();
}

void AnswerWriter::WriteHead() {
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(answer_.status) + ' ' + ReasonPhrase(answer_.status) + "\r\n";
    if (!answer_.contentType.isEmpty()) {
        head += "Content-Type: " + answer_.contentType + "\r\n";
    }
    if (!answer_.endless && !answer_.stallAfterBody) {
        head += "Content-Length: " + QByteArray::number(answer_.body.size()) + "\r\n";
    }
    head += "Connection: close\r\n";
    for (const auto& [name, value] : answer_.extraHeaders) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";
    socket_->write(head);
}

QByteArray AnswerWriter::NextSlice(qint64 maxBytes) {
    const qint64 size = answer_.body.size();
    if (size == 0) {
        return {};
    }
    const qint64 offset = sent_ % size; // an endless body starts over at its end
    qint64 count = std::min(maxBytes, size - offset);
    if (limit_ >= 0) {
        count = std::min(count, limit_ - sent_);
    }
    return answer_.body.mid(offset, count);
}

void AnswerWriter::Pump() {
    if (!socket_ || finishing_) {
        return;
    }
    const bool dripping = dripTimer_.isActive();
    const qint64 sliceBytes =
        dripping ? std::max<qint64>(1, answer_.dripBytesPerSecond * kDripIntervalMs / 1000) : kSliceBytes;
    while (limit_ < 0 || sent_ < limit_) {
        if (socket_->bytesToWrite() >= kMaxQueuedBytes) {
            return; // bytesWritten or the next tick carries on
        }
        const QByteArray slice = NextSlice(sliceBytes);
        if (slice.isEmpty()) {
            break;
        }
        socket_->write(slice);
        sent_ += slice.size();
        if (dripping) {
            return;
        }
    }
    Finish();
}

void AnswerWriter::Finish() {
    finishing_ = true;
    dripTimer_.stop();
    if (answer_.stallAfterBody) {
        return;
    }
    if (!answer_.resetMidBody) {
        socket_->disconnectFromHost(); // sends what is queued, then closes
        return;
    }
    socket_->flush();
    QTimer::singleShot(kResetAfterMs, this, &AnswerWriter::ResetConnection);
}

void AnswerWriter::ResetConnection() {
    if (!socket_) {
        return;
    }
    // A zero linger time turns the close into a reset instead of an orderly end.
    const linger noLinger{1, 0};
    const auto descriptor = static_cast<int>(socket_->socketDescriptor());
    if (descriptor >= 0) {
        ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    }
    socket_->abort();
}

} // namespace kestrovan

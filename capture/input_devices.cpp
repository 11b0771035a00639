// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/input_devices.h"

#include <QMediaDevices>

#include "dsp/signal.h"

namespace nimbo {
namespace {

// Printable ASCII that an INI value keeps as it is; everything else is percent-encoded.
const QByteArray kPlainIdBytes =
    QByteArrayLiteral("!#$&()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                      "abcdefghijklmnopqrstuvwxyz{|}~");

} // namespace

QAudioFormat captureFormat() {
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(kInputChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QList<InputRow> inputRows() {
    QList<InputRow> rows;
    rows.append({QString::fromUtf8("標準の入力デバイス"), false, {}});
    const QAudioFormat format = captureFormat();
    for (const QAudioDevice& device : QMediaDevices::audioInputs())
        rows.append({device.description(), device.isFormatSupported(format), device.id()});
    return rows;
}

QAudioDevice inputDevice(int input, const QByteArray& id) {
    if (input == 0) return QMediaDevices::defaultAudioInput();
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    if (!id.isEmpty())
        for (const QAudioDevice& device : inputs)
            if (device.id() == id) return device;
    if (input < 1 || input > inputs.size()) return {};
    return inputs[input - 1];
}

int inputRowOf(const QByteArray& id) {
    if (id.isEmpty()) return -1;
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (qsizetype i = 0; i < inputs.size(); ++i)
        if (inputs[i].id() == id) return int(i) + 1;
    return -1;
}

QString deviceIdText(const QByteArray& id) {
    return QString::fromLatin1(id.toPercentEncoding(kPlainIdBytes));
}

QByteArray deviceIdFromText(const QString& text) {
    return QByteArray::fromPercentEncoding(text.toUtf8());
}

} // namespace nimbo

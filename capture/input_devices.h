// SPDX-License-Identifier: GPL-3.0-or-later
// The capture devices as the device dialog lists them and as the settings file names them:
// row 0 the system default, row k device k - 1 of Qt's list, and a device's id as INI text.
#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QString>

namespace nimbo {

// 48 kHz, 16-bit, stereo: the only format NIMBO captures.
QAudioFormat captureFormat();

// One row of the device list.
struct InputRow {
    QString caption;  // "標準の入力デバイス" for row 0, else the device's description
    bool supports48k; // the device takes captureFormat()
    QByteArray id;    // empty for row 0: the default follows the system's choice
};

// Row 0 and one row per input device, in Qt's order, as the list stands now.
QList<InputRow> inputRows();

// The device of row `input` (0 the system default); a null device for a row that does not
// exist. When `id` is not empty and an input device has it, that device wins over the row:
// Qt's order may change between runs and while the program runs.
QAudioDevice inputDevice(int input, const QByteArray& id = {});

// The row (>= 1) of the input device with `id` in Qt's list now, or -1 when there is none.
int inputRowOf(const QByteArray& id);

// A device id as text for one INI line and back. Ids are opaque bytes: '%', quotes,
// blanks, control and non-ASCII bytes are written as %XX so that every id survives the
// file unchanged (an INI value loses surrounding blanks and quotes and cannot break lines).
QString deviceIdText(const QByteArray& id);
QByteArray deviceIdFromText(const QString& text);

} // namespace nimbo

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/memo_note.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTime>

namespace nimbo {

void noteInMemo(QPlainTextEdit* memo, const QString& text) {
    memo->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss  ")) + text);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

} // namespace nimbo

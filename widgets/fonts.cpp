// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace nimbo {
namespace {

constexpr int kPixelSize = 12;

QFont pick(const char* family, QFontDatabase::SystemFont fallback) {
    QFont font = QFontDatabase::families().contains(QLatin1String(family))
                     ? QFont(QString::fromLatin1(family))
                     : QFontDatabase::systemFont(fallback);
    font.setPixelSize(kPixelSize);
    return font;
}

} // namespace

QFont fixedFont() {
    return pick("IPAGothic", QFontDatabase::FixedFont);
}
QFont proportionalFont() {
    return pick("IPAPGothic", QFontDatabase::GeneralFont);
}

} // namespace nimbo

// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/text_colour.h"

#include <QPalette>
#include <QWidget>

namespace nimbo {

void setTextColour(QWidget* widget, Colour colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, QColor(redOf(colour), greenOf(colour), blueOf(colour)));
    widget->setPalette(p);
}

} // namespace nimbo

#include "widgets/placement.h"

#include <QWidget>

namespace nimbo {

QPoint centredOn(const QWidget* window, const QWidget* on) {
    const QRect outer = on->frameGeometry();
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isNull()) frame = outer.size() - on->size();
    const QSize own = window->size() + frame;
    return {outer.left() + outer.width() / 2 - own.width() / 2,
            outer.top() + outer.height() / 2 - own.height() / 2};
}

} // namespace nimbo

// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the GUI tests: a program folder of its own per test, the main window
// made as the program makes it, and a hand that answers message boxes.
#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

#include "app/recoding.h"

namespace nimbo::test {

class ProgramFolder {
  public:
    ProgramFolder() { EXPECT_TRUE(dir_.isValid()); }
    QString exe() const { return dir_.filePath(QStringLiteral("nimbo")); }
    QString ini() const { return dir_.filePath(QStringLiteral("nimbo.ini")); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    void writeIni(const QByteArray& text) const {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray readIni() const {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

  private:
    QTemporaryDir dir_;
};

// Constructs, places and shows the main window the way the program entry does.
template <typename Form = TForm1>
std::unique_ptr<Form> startMainWindow(const ProgramFolder& folder) {
    auto form = std::make_unique<Form>(folder.exe());
    form->FormCreate();
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
}

// A file dragged onto `form` from a file manager and dropped there.
inline void dropFile(TForm1& form, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(400, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent e(QPointF(400, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &e);
}

inline QString labelText(QWidget* form, const char* name) {
    auto* l = form->findChild<QLabel*>(QLatin1String(name));
    return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// Watches for a modal message box and presses `button` on it; keeps what the box said.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(QMessageBox::StandardButton button) : button_(button) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(20);
    }
    int seen() const { return seen_; }
    QString text() const { return text_; }
    QString objectName() const { return objectName_; }
    QMessageBox::Icon icon() const { return icon_; }
    int buttonCount() const { return buttons_; }

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        ++seen_;
        text_ = box->text();
        objectName_ = box->objectName();
        icon_ = box->icon();
        buttons_ = box->buttons().size();
        if (QAbstractButton* b = box->button(button_)) b->click();
    }

    QTimer timer_;
    QMessageBox::StandardButton button_;
    int seen_ = 0;
    QString text_, objectName_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
    int buttons_ = 0;
};

} // namespace nimbo::test

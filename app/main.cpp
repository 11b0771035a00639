// SPDX-License-Identifier: GPL-3.0-or-later
// Process entry: the application object, the six windows in their order, the event loop.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "app/command_line.h"
#include "app/messages.h"
#include "app/recoding.h"
#include "capture/device_dialog.h"
#include "display/calibration_display.h"
#include "display/data_display.h"
#include "display/import_progress.h"

namespace {

// Shows an exception that escapes an event handler and ends the event loop.
class NimboApplication final : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override {
        try {
            return QApplication::notify(receiver, e);
        } catch (const std::exception& ex) {
            nimbo::reportUnexpectedError(QString::fromLocal8Bit(ex.what()));
        } catch (...) {
            nimbo::reportUnexpectedError(QStringLiteral("Unknown error"));
        }
        exit(0);
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    // Help and version are printed without a display (the man page is made from them).
    if (nimbo::wantsHelpOrVersion(argc, argv)) {
        QStringList args;
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        if (nimbo::parseCommandLine(args).help)
            std::fputs(nimbo::commandLineHelp().toLocal8Bit().constData(), stdout);
        else
            std::printf("nimbo %s\n"
                        "Copyright (C) 2026 NIMBO developers\n"
                        "License GPL-3.0-or-later: GNU GPL version 3 or later "
                        "<https://gnu.org/licenses/gpl.html>.\n"
                        "This is free software: you are free to change and redistribute it.\n"
                        "There is NO WARRANTY, to the extent permitted by law.\n",
                        NIMBO_VERSION);
        return 0;
    }
    NimboApplication app(argc, argv);
    const nimbo::CommandLine options = nimbo::parseCommandLine(QApplication::arguments().mid(1));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "nimbo: %s\n", options.error.toLocal8Bit().constData());
        return 2;
    }
    if (!options.replayFile.isEmpty() && !QFileInfo(options.replayFile).isFile()) {
        std::fprintf(stderr, "nimbo: cannot replay %s: no such file\n",
                     QFile::encodeName(options.replayFile).constData());
        return 2;
    }
    // The main window's caption "NIMBO" is the program's title. No application display name
    // is set: the window system would add it to every other caption ("Calibration Display —
    // NIMBO").
    // The main window quits the program; the other windows only hide when closed.
    QApplication::setQuitOnLastWindowClosed(false);
    try {
        Form1 = new TForm1(QApplication::applicationFilePath());
        Form1->FormCreate();
        Form9 = new TForm9(Form1, Form1->input(), Form1->core().settings());
        Form10 = new TForm10(Form9);
        Form9->setChangeNotice(Form10);
        Form1->useDeviceDialog(Form9);
        Form2 = new TForm2(Form1->core(), Form1);
        Form3 = new TForm3(Form1->core(), Form1->calSelections(), Form1);
        QObject::connect(Form3, &TForm3::selectionsChanged, Form1, &TForm1::setCalSelections);
        Form4 = new TForm4(Form1);
        Form1->useImportWindow(Form4);
        QObject::connect(Form1, &TForm1::mainWindowClosed, &app, &QApplication::quit,
                         Qt::QueuedConnection);
        Form1->show();
        if (!options.replayFile.isEmpty()) {
            Form1->setReplaySpeed(options.replaySpeed);
            QTimer::singleShot(0, Form1, [&options] { Form1->openFile(options.replayFile); });
        }
        app.exec();
    } catch (const std::exception& ex) {
        nimbo::reportUnexpectedError(QString::fromLocal8Bit(ex.what()));
    }
    delete Form1;
    delete Form9;
    delete Form10;
    delete Form2;
    delete Form3;
    delete Form4;
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "settings/settings.h"

namespace nimbo {
namespace {

// The folders a package or `make install` puts programs in. Run as root they are writable,
// yet files written there would outlive the program's removal and be shared by every user.
bool isSystemProgramFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const char* system : {"/bin", "/usr/bin", "/usr/local/bin", "/usr/games",
                               "/usr/local/games", "/sbin", "/usr/sbin", "/usr/local/sbin"}) {
        if (canonical == QFileInfo(QString::fromLatin1(system)).canonicalFilePath()) return true;
    }
    return false;
}

} // namespace

QString programFolderFor(const QString& executablePath) {
    const QFileInfo exe(executablePath);
    const QString folder = exe.absolutePath();
    if (QFileInfo(folder).isWritable() && !isSystemProgramFolder(folder)) return folder;
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(perUser);
    return QDir::cleanPath(perUser);
}

QString settingsFileIn(const QString& folder, const QString& executablePath) {
    const QString exeName = QFileInfo(executablePath).fileName();
    return QString::fromStdString(settingsPathFor((folder + u'/' + exeName).toStdString()));
}

ProgramFiles programFilesFor(const QString& executablePath) {
    ProgramFiles files;
    files.exeFolder = QFileInfo(executablePath).absolutePath();
    files.folder = programFolderFor(executablePath);
    files.perUser = files.folder != files.exeFolder;
    files.settingsSave = settingsFileIn(files.folder, executablePath);
    files.settingsRead = files.settingsSave;
    if (files.perUser && !QFileInfo::exists(files.settingsSave)) {
        const QString beside = settingsFileIn(files.exeFolder, executablePath);
        if (QFileInfo(beside).isReadable()) files.settingsRead = beside;
    }
    return files;
}

} // namespace nimbo

// SPDX-License-Identifier: GPL-3.0-or-later
// An installed program: its folder cannot be written. The settings file beside it is still
// read; settings and logs go to the per-user folder, and the memo says so once.
#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

#include "app/program_folder.h"
#include "gui_fixture.h"

namespace nimbo::test {
namespace {

bool succeeds(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// `folder` made read-only for this process: a read-only bind mount over it when root (root
// ignores permissions), else its permissions. Undone when it goes.
class ReadOnly {
  public:
    explicit ReadOnly(const QString& folder) : folder_(folder) {
        if (::geteuid() == 0) {
            mounted_ = succeeds("mount", {"--bind", folder, folder}) &&
                       (succeeds("mount", {"-o", "remount,ro,bind", folder}) || unmount());
        } else {
            chmoded_ = QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ReadOnly() {
        if (mounted_) unmount();
        if (chmoded_)
            QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Whether writing into the folder really fails now.
    bool works() const {
        QFile probe(folder_ + "/probe");
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            return false;
        }
        return true;
    }

  private:
    bool unmount() {
        // Lazily: a file still open beneath it must not leave the mount behind.
        succeeds("umount", {"-l", folder_});
        return false;
    }
    QString folder_;
    bool mounted_ = false, chmoded_ = false;
};

class Env {
  public:
    Env(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~Env() { qputenv(name_, old_); }

  private:
    const char* name_;
    QByteArray old_;
};

TEST(ProgramFolder, ReadOnlyFolderReadsItsSettingsAndTellsWhereTheyGo) {
    ProgramFolder installed, home;
    const QByteArray preset =
        "[Form]\r\nGraphScr=9\r\n[Set]\r\nPress1=12\r\n[Site]\r\nName=Tsukuba\r\n";
    installed.writeIni(preset);
    Env dataHome("XDG_DATA_HOME", QFile::encodeName(home.path("data")));
    ReadOnly readOnly(QFileInfo(installed.ini()).absolutePath());
    if (!readOnly.works()) GTEST_SKIP() << "cannot make a folder read-only here";
    const QString perUser = home.path("data") + u'/' + QCoreApplication::applicationName();
    const auto notices = [](TForm1& form) {
        return form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().count("cannot be written");
    };
    {
        auto form = startMainWindow(installed);
        EXPECT_EQ(labelText(form.get(), "Label1"), QStringLiteral("10 sec"));
        EXPECT_EQ(form->calSelections().press[0], 12);
        EXPECT_EQ(form->programFolder(), perUser);
        EXPECT_EQ(notices(*form), 1);
        EXPECT_TRUE(form->findChild<QPlainTextEdit*>("Memo1")->toPlainText().contains(perUser));
        EXPECT_TRUE(form->close());
    }
    // The settings went to the per-user folder; the installed file is as it was.
    QFile saved(perUser + "/nimbo.ini");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("GraphScr=9\r\n") && text.contains("Press1=12\r\n")) << text.data();
    EXPECT_TRUE(text.contains("[Site]\r\nName=Tsukuba\r\n"))
        << "a line NIMBO does not know is kept";
    EXPECT_EQ(installed.readIni(), preset);
    saved.close();

    // From now on the per-user file is the one read.
    QFile edit(perUser + "/nimbo.ini");
    ASSERT_TRUE(edit.open(QIODevice::WriteOnly));
    edit.write("[Form]\r\nGraphScr=3\r\n");
    edit.close();
    auto again = startMainWindow(installed);
    EXPECT_EQ(labelText(again.get(), "Label1"), QStringLiteral("4 sec"));
    EXPECT_EQ(notices(*again), 1);
}

TEST(ProgramFolder, WritableFolderKeepsEverythingBesideTheProgramWithoutANotice) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nGraphScr=9\r\n");
    auto form = startMainWindow(folder);
    EXPECT_EQ(labelText(form.get(), "Label1"), QStringLiteral("10 sec"));
    EXPECT_EQ(form->programFolder(), QFileInfo(folder.exe()).absolutePath());
    EXPECT_FALSE(
        form->findChild<QPlainTextEdit*>("Memo1")->toPlainText().contains("cannot be written"));
}

// Installed programs keep nothing beside themselves, whoever runs them (root can write there).
TEST(ProgramFolder, SystemProgramFoldersAreNeverWrittenInto) {
    ProgramFolder home;
    Env dataHome("XDG_DATA_HOME", QFile::encodeName(home.path("data")));
    const QString perUser = home.path("data") + u'/' + QCoreApplication::applicationName();
    for (const char* exe : {"/usr/bin/nimbo", "/usr/local/bin/nimbo", "/bin/nimbo"})
        EXPECT_EQ(programFolderFor(QString::fromLatin1(exe)), perUser) << exe;
    EXPECT_EQ(programFolderFor(home.exe()), QFileInfo(home.exe()).absolutePath());
}

} // namespace
} // namespace nimbo::test

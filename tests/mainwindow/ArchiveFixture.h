#pragma once
#include <QFile>
#include <QTest>
#include <memory>

#include "archive/Archive.h"
#include "mainwindow/Main.h"
#include "settings/Appglob.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

namespace kr::test {

// A main window shown over a fresh kr.ini and no archive, with scripted
// prompts: where the windows that work on the archive are tried.
struct MainOverArchive {
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TfmMain> main;

    static QString archivePath() { return ArchivePathIn(programHome().path()); }

    bool start()
    {
        QFile::remove(IniFilePath());
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(archivePath() + suffix);
        prompts = std::make_unique<ScriptedPrompts>();
        TfmMain::Options o;
        o.openPort = false;
        main = std::make_unique<TfmMain>(o);
        main->show();
        return QTest::qWaitForWindowExposed(main.get());
    }
    // The prompts that came unasked for.
    int stop()
    {
        main->Document().ClearModified();
        main.reset();
        const int unexpected = prompts->unexpected();
        prompts.reset();
        return unexpected;
    }
};

} // namespace kr::test

#pragma once
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "tests/support/TestFiles.h"

namespace kr::test {

inline void setReading(TFile& doc, int file, int rec, const char* species, long double mc, int temp, int day)
{
    TReading& r = doc.GetReading(file, rec);
    r.SetSpecies(species);
    r.SetMoisture(mc);
    r.SetTemperature(temp);
    r.SetDateTime(EncodeDate(2001, 3, day) + EncodeTime(10, 15, 0, 0));
    r.SetSG(0.65L);
    r.SetSGApplies(1);
}

// Meter file 1 holds three readings (the third with a moisture of 0),
// file 3 one; comments on files 1 and 2; a note on an empty slot; notes.
inline void fillSample(TFile& doc)
{
    setReading(doc, 1, 1, "Oak", 12.3L, 21, 4);
    setReading(doc, 1, 2, "Radiata Pine", 18.5L, 20, 5);
    setReading(doc, 1, 3, "Jarrah", 0.0L, 19, 6);
    doc.GetReading(1, 2).SetNote("Near the window");
    doc.GetReading(1, 5).SetNote("Slot kept free");
    doc.GetReading(1, 3).SetSGApplies(0);
    setReading(doc, 3, 1, "Beech", 9.8L, 22, 7);
    doc.SetComment(1, "Ground floor, north room");
    doc.SetComment(2, "Spare");
    doc.SetNotes({"Site: 12 Mill Road", "Boards delivered Monday"});
    doc.ClearModified();
}

// Runs `handle` on the next modal dialog, from the event loop: the way to
// answer a dialog that a handler shows with exec(). `seen` tells afterwards
// whether there was one. With a context, the waiting ends when it goes, so
// a handle that found no dialog never answers a later test's.
inline void onNextModal(const std::function<void(QWidget*)>& handle, bool* seen, int attempts = 20,
                        QObject* context = nullptr)
{
    QObject* owner = context ? context : QCoreApplication::instance();
    QTimer::singleShot(10, owner, [handle, seen, attempts, context] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            *seen = true;
            handle(modal);
        } else if (attempts > 0) {
            onNextModal(handle, seen, attempts - 1, context);
        }
    });
}

// The title as shown: Qt's "[*]" becomes "*" while the window is marked modified.
inline QString shownTitle(const QWidget& w)
{
    const QString mark = w.isWindowModified() ? QStringLiteral("*") : QString();
    return QString(w.windowTitle()).replace(QStringLiteral("[*]"), mark);
}

} // namespace kr::test
